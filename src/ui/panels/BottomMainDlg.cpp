#include "panels/BottomMainDlg.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <utility>

#include "log/OutputLog.h"
#include "panels/PanelGeometry.h"
#include "sync/ScriptHeatmap.h"
#include "widgets/AlphaButton.h"
#include "widgets/BitmapSlider.h"
#include "widgets/DialogUnits.h"
#include "widgets/Resources.h"
#include "widgets/TransparentStatic.h"

namespace {

// The slider bitmaps' pixel (0, 0) names the colour that is keyed out.
constexpr uint32_t kColourFromPixel = 0xFF000000;
// The black strip under the third row in window mode, and under the whole bar in full screen.
constexpr int kStripTop = 63;

void SetWhiteText(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
}

void Append(CtlRow& row, QWidget* control, int spaceAfter, int spaceBefore) {
    row.push_back(std::make_unique<CTL_ITEM>(CTL_ITEM{control, spaceAfter, spaceBefore}));
}

}  // namespace

QString CounterText(int64_t timeMs) {
    return QString::asprintf("%06lld", static_cast<long long>(timeMs / 100));
}

CBottomMainDlg::CBottomMainDlg(QWidget* host, OutputLog& log)
    : QWidget(host, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus), log_(log) {
    setObjectName(QStringLiteral("bottomBar"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFont(DialogFont(8));
    const DialogBaseUnits units = BaseUnitsOf(font());
    const auto size = [&](int w, int h) { return DialogUnitsToPixels(units, QSize(w, h)); };

    strip_ = new QLabel(this);
    strip_->setObjectName(QStringLiteral("strip"));
    EnsureResources();
    strip_->setPixmap(QPixmap(QStringLiteral(":/res/png/150.png")));
    // The picture is 1000 pixels wide; stretched, it reaches the edge of a wider bar.
    strip_->setScaledContents(true);

    elapsed_ = new CTransparentStatic(QStringLiteral("00:00:00"), this);
    total_ = new CTransparentStatic(QStringLiteral("00:00:00"), this);
    device_ = new QLabel(tr("ハード名"), this);
    counter_ = new QLabel(QStringLiteral("000000"), this);
    for (QLabel* label :
         {static_cast<QLabel*>(elapsed_), static_cast<QLabel*>(total_), device_, counter_}) {
        SetWhiteText(label);
    }
    elapsed_->setObjectName(QStringLiteral("elapsedTime"));
    total_->setObjectName(QStringLiteral("totalTime"));
    device_->setObjectName(QStringLiteral("deviceName"));
    counter_->setObjectName(QStringLiteral("counter"));
    elapsed_->setAlignment(Qt::AlignCenter);
    total_->setAlignment(Qt::AlignCenter);
    counter_->setAlignment(Qt::AlignCenter);
    device_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    elapsed_->setFixedSize(size(35, 15));
    total_->setFixedSize(size(35, 15));
    device_->setFixedSize(size(65, 17));
    counter_->setFixedSize(size(25, 17));
    for (QLabel* label : {device_, counter_}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::black);
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }

    play_ = AddButton(IDC_PLAY, 136);
    openDvd_ = AddButton(IDC_OPEN_DVD, 145);
    pause_ = AddButton(IDC_PAUSE, 138);
    volume_ = AddButton(IDC_VOLUME, 139, 148);
    openVideo_ = AddButton(IDC_OPEN_VIDEO, 146);
    repeat_ = AddButton(IDC_REPEAT, 137, 147);
    maximize_ = AddButton(IDC_MAXIMIZE, 140, 152);
    forward_ = AddButton(IDC_FORWARD, 142);
    rewind_ = AddButton(IDC_REWIND, 141);
    openPlayFile_ = AddButton(IDC_OPEN_PLAYFILE, 144);
    play_->setToolTip(tr("再生"));
    pause_->setToolTip(tr("一時停止"));
    openVideo_->setToolTip(tr("動画を開く"));
    openDvd_->setToolTip(tr("DVDを開く"));
    openPlayFile_->setToolTip(tr("プレイファイルを開く"));
    volume_->setToolTip(tr("消音"));
    repeat_->setToolTip(tr("リピート"));
    maximize_->setToolTip(tr("全画面"));
    rewind_->setToolTip(tr("早戻し"));
    forward_->setToolTip(tr("早送り"));

    seekSlider_ = new CBitmapSlider(IDC_SEEK_SLIDER, this);
    volumeSlider_ = new CBitmapSlider(IDC_VOLUME_SLIDER, this);
    seekSlider_->setObjectName(QStringLiteral("seekSlider"));
    volumeSlider_->setObjectName(QStringLiteral("volumeSlider"));
    const struct {
        CBitmapSlider* slider;
        int channel, activeChannel, thumb, activeThumb, position;
    } sliders[] = {{seekSlider_, 169, 168, 167, 166, 0}, {volumeSlider_, 165, 164, 163, 162, 50}};
    for (const auto& s : sliders) {
        s.slider->LoadChannelBitmaps(s.channel, s.activeChannel, true, kColourFromPixel, 0, 0);
        s.slider->LoadThumbBitmaps(s.thumb, s.activeThumb, true, kColourFromPixel, 0, 0);
        s.slider->SetFocusRectEnabled(false, false);
        s.slider->SetRange(0, 100, false);
        s.slider->SetPosition(s.position);
        s.slider->SetMargins(0, 0, 0, 0);
    }
    connect(seekSlider_, &CBitmapSlider::HeatWidthChanged, this, [this] { ShowScriptHeat(); });
    // Taken after the event that moved them, as the buttons' holds are.
    for (CBitmapSlider* slider : {seekSlider_, volumeSlider_}) {
        connect(
            slider, &CBitmapSlider::Moving, this,
            [this, id = slider->ControlId()] { OnSliderMoving(id); }, Qt::QueuedConnection);
    }

    controls_ = {{IDC_PLAY, play_},
                 {IDC_PAUSE, pause_},
                 {IDC_OPEN_VIDEO, openVideo_},
                 {IDC_VOLUME, volume_},
                 {IDC_SEEK_SLIDER, seekSlider_},
                 {IDC_VOLUME_SLIDER, volumeSlider_},
                 {IDC_ELAPSED, elapsed_},
                 {IDC_TOTAL, total_},
                 {IDC_OPEN_DVD, openDvd_},
                 {IDC_REPEAT, repeat_},
                 {IDC_MAXIMIZE, maximize_},
                 {IDC_REWIND, rewind_},
                 {IDC_FORWARD, forward_},
                 {IDC_DEVICE, device_},
                 {IDC_COUNTER, counter_},
                 {IDC_OPEN_PLAYFILE, openPlayFile_},
                 {IDC_STRIP, strip_}};

    Append(compactRow_, elapsed_, 5, 5);
    Append(compactRow_, seekSlider_, 5, 0);
    Append(compactRow_, total_, 20, 0);
    Append(compactRow_, rewind_, 20, 0);
    Append(compactRow_, play_, 20, 0);
    Append(compactRow_, pause_, 20, 0);
    Append(compactRow_, forward_, 20, 0);
    Append(compactRow_, volume_, 5, 0);
    Append(compactRow_, volumeSlider_, 5, 0);
    Append(compactRow_, repeat_, 5, 0);
    Append(compactRow_, counter_, 5, 0);
    Append(compactRow_, maximize_, 5, 0);
    Append(rows_[0], elapsed_, 5, 5);
    Append(rows_[0], seekSlider_, 5, 0);
    Append(rows_[0], total_, 5, 0);
    Append(rows_[1], rewind_, 40, 5);
    Append(rows_[1], play_, 40, 0);
    Append(rows_[1], pause_, 40, 0);
    Append(rows_[1], forward_, 5, 0);
    Append(rows_[2], openDvd_, 5, 5);
    Append(rows_[2], openVideo_, 5, 0);
    Append(rows_[2], openPlayFile_, 5, 0);
    Append(rows_[2], device_, 5, 0);
    Append(rows_[2], counter_, 40, 0);
    Append(rows_[2], volume_, 5, 0);
    Append(rows_[2], volumeSlider_, 5, 0);
    Append(rows_[2], repeat_, 5, 0);
    Append(rows_[2], maximize_, 5, 0);
}

CBottomMainDlg::~CBottomMainDlg() = default;

CAlphaButton* CBottomMainDlg::AddButton(int id, int stripId, int toggleStripId) {
    auto* button = new CAlphaButton(id, this);
    button->setObjectName(QStringLiteral("button%1").arg(id));
    button->setFocusPolicy(Qt::NoFocus);
    button->LoadStripResource(stripId, "png");
    if (toggleStripId != 0) button->LoadToggleStripResource(toggleStripId, "png");
    connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
    connect(
        button, &CAlphaButton::HeldDown, this, [this, id] { OnButtonHeld(id, true); },
        Qt::QueuedConnection);
    connect(
        button, &CAlphaButton::LetGo, this, [this, id] { OnButtonHeld(id, false); },
        Qt::QueuedConnection);
    return button;
}

void CBottomMainDlg::FollowHost() {
    if (parentWidget() == nullptr) return;
    setGeometry(parentWidget()->geometry());
    update();
    ArrangeControls(width());
}

void CBottomMainDlg::ArrangeControls(int barWidth) {
    const QRect stripRect(0, expanded_ ? kStripTop : 0, barWidth, kBarHeight);
    if (strip_->geometry() != stripRect) {
        strip_->setGeometry(stripRect);
        // The buttons that stay put now lie over another part of the strip, or off it.
        ResetButtonBackgrounds();
    }
    strip_->lower();
    strip_->show();
    if (expanded_) {
        ArrangeRow(0, 2, barWidth, rows_[0]);
        ArrangeRow(0, 30, barWidth, rows_[1]);
        ArrangeRow(0, 65, barWidth, rows_[2]);
    } else {
        // The file buttons and the device label have no place in the one row.
        QWidget* const outOfRow[] = {openDvd_, openVideo_, openPlayFile_, device_};
        for (QWidget* control : outOfRow) control->hide();
        ArrangeRow(0, 2, barWidth, compactRow_);
    }
    update();
}

void CBottomMainDlg::ArrangeRow(int left, int top, int barWidth, const CtlRow& items) {
    int total = 0;
    for (const auto& item : items) {
        if (item->wnd == nullptr) continue;
        if (item->spaceBefore != 0) total += item->spaceBefore;
        total += item->spaceAfter + item->wnd->width();
    }
    int x = std::max(0, left + (barWidth - total) / 2);
    const int y = std::max(0, top + 5);
    for (const auto& item : items) {
        if (item->wnd == nullptr) continue;
        if (item->spaceBefore != 0) x += item->spaceBefore;
        item->wnd->move(x, y);
        item->wnd->show();
        x += item->spaceAfter + item->wnd->width();
    }
}

// Window mode leaves the background unpainted (the translucent host shows through); full
// screen makes the whole bar opaque. Either way the buttons' snapshots of the old background
// no longer hold.
void CBottomMainDlg::ApplyLayoutMode() {
    maximize_->SetToggle(expanded_ ? 0 : 1);
    ResetButtonBackgrounds();
    update();
}

void CBottomMainDlg::ResetButtonBackgrounds() {
    for (CAlphaButton* button : findChildren<CAlphaButton*>(Qt::FindDirectChildrenOnly)) {
        button->ResetBackground();
    }
}

void CBottomMainDlg::paintEvent(QPaintEvent*) {
    if (expanded_) return;
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
}

void CBottomMainDlg::SetCounter(int64_t time) {
    const QString text = CounterText(time);
    if (counter_->text() != text) counter_->setText(text);
}

void CBottomMainDlg::SetDeviceName(const QString&) { device_->setText(QString()); }

void CBottomMainDlg::SetElapsedTime(const QString& text) {
    if (elapsed_->text() != text) elapsed_->SetWindowText(text);
}

void CBottomMainDlg::SetTotalTime(const QString& text) {
    if (total_->text() != text) total_->SetWindowText(text);
}

void CBottomMainDlg::SetMediaPosition(int position) { seekSlider_->SetPosition(position); }

void CBottomMainDlg::SetScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) {
    if (lines.empty() || lengthMs <= 0) {
        ClearScriptHeat();
        return;
    }
    heatLines_ = lines;
    heatLengthMs_ = lengthMs;
    ShowScriptHeat();
}

void CBottomMainDlg::ClearScriptHeat() {
    heatLines_ = {};
    heatLengthMs_ = 0;
    seekSlider_->ClearHeat();
}

void CBottomMainDlg::ShowScriptHeat() {
    const std::vector<HeatSlice> slices =
        ScriptHeat(heatLines_, heatLengthMs_, seekSlider_->HeatWidth());
    std::vector<HeatColumn> columns;
    columns.reserve(slices.size());
    for (const HeatSlice& slice : slices) {
        columns.push_back({static_cast<float>(slice.speed), slice.directionChanges > 0});
    }
    seekSlider_->SetHeat(std::move(columns));
}

int CBottomMainDlg::GetVolume() const { return volumeSlider_->GetPosition(); }

void CBottomMainDlg::MoveVolumeBy(int delta) {
    const int position = std::clamp(volumeSlider_->GetPosition() + delta, 0, 100);
    if (position == volumeSlider_->GetPosition()) return;
    volumeSlider_->SetPosition(position);
    QMetaObject::invokeMethod(
        this, [this] { OnSliderMoving(IDC_VOLUME_SLIDER); }, Qt::QueuedConnection);
}

void CBottomMainDlg::SetMuteState(bool on) { volume_->SetToggle(on ? 1 : 0); }

void CBottomMainDlg::SetRepeatState(bool on) { repeat_->SetToggle(on ? 1 : 0); }

QAbstractButton* CBottomMainDlg::GetMaximizeButton() const { return maximize_; }

QWidget* CBottomMainDlg::Control(int id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

QString CBottomMainDlg::ElapsedText() const { return elapsed_->text(); }

QString CBottomMainDlg::TotalText() const { return total_->text(); }

QString CBottomMainDlg::CounterLabelText() const { return counter_->text(); }

int CBottomMainDlg::MediaPosition() const { return seekSlider_->GetPosition(); }

bool CBottomMainDlg::MuteShown() const { return volume_->GetToggle() != 0; }

bool CBottomMainDlg::RepeatShown() const { return repeat_->GetToggle() != 0; }

void CBottomMainDlg::OnCommand(int id) {
    switch (id) {
        case IDC_PLAY:
            emit PlayClicked();
            OUTPUT_LOG(log_, "再生ボタンクリック");
            break;
        case IDC_PAUSE:
            emit PauseClicked();
            OUTPUT_LOG(log_, "一時停止ボタンクリック");
            break;
        case IDC_OPEN_DVD:
            emit OpenDvdClicked();
            OUTPUT_LOG(log_, "DVDドライブ選択ボタンクリック");
            break;
        case IDC_OPEN_VIDEO:
            emit OpenVideoClicked();
            OUTPUT_LOG(log_, "動画選択ボタンクリック");
            break;
        case IDC_OPEN_PLAYFILE:
            emit OpenPlayFileClicked();
            OUTPUT_LOG(log_, "CSV選択ボタンクリック");
            break;
        case IDC_VOLUME:
            emit MuteClicked();
            OUTPUT_LOG(log_, "音量ボタンクリック");
            break;
        case IDC_REPEAT:
            emit RepeatClicked();
            OUTPUT_LOG(log_, "リピートボタンクリック");
            break;
        case IDC_MAXIMIZE:
            emit FullScreenClicked();
            OUTPUT_LOG(log_, "最大化ボタンクリック");
            break;
        case IDC_REWIND:
            OUTPUT_LOG(log_, "早戻しボタンクリック");
            break;
        case IDC_FORWARD:
            OUTPUT_LOG(log_, "早送りボタンクリック");
            break;
        default:
            break;
    }
}

// Rewind and fast forward act while held; holds of the other buttons are ignored.
void CBottomMainDlg::OnButtonHeld(int id, bool held) {
    if (id == IDC_FORWARD) {
        emit ForwardHeld(held);
        OUTPUT_LOG(log_, held ? "早送りボタン押下中" : "早送りボタン押下終了");
    } else if (id == IDC_REWIND) {
        emit RewindHeld(held);
        OUTPUT_LOG(log_, held ? "早戻しボタン押下中" : "早戻しボタン押下終了");
    }
}

void CBottomMainDlg::OnSliderMoving(int id) {
    if (id == IDC_VOLUME_SLIDER) {
        volume_->SetToggle(0);
        emit VolumeMoved();
        OUTPUT_LOG(log_, "音量スライダー移動");
    } else if (id == IDC_SEEK_SLIDER) {
        emit SeekMoved(seekSlider_->GetPosition());
        OUTPUT_LOG(log_, "メディアスライダー移動");
    }
}
