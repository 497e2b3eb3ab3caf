#include "app/KestruneDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QTimerEvent>

#include "app/AccessDeniedText.h"
#include "app/DeviceWatch.h"
#include "app/KestruneApplication.h"
#include "app/MainMenus.h"
#include "app/MainWindowInput.h"
#include "app/OpenDialogs.h"
#include "app/PictureDraft.h"
#include "configuration/DongleSettings.h"
#include "configuration/IniLocation.h"
#include "configuration/Profile.h"
#include "configuration/SyncSettings.h"
#include "dialogs/DebugDlg.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/OverlayText.h"
#include "panels/PanelGeometry.h"
#include "panels/TopDlg.h"
#include "platform/DeviceAccess.h"
#include "platform/DeviceFolder.h"
#include "platform/LocalClock.h"
#include "platform/MessageBoxes.h"
#include "widgets/DialogUnits.h"
#include "widgets/Resources.h"
#include "widgets/VideoSurface.h"

namespace {

// Size types of Layout, as the window reports its state.
CKestruneDlg::SizeType SizeTypeOf(Qt::WindowStates state) {
    using SizeType = CKestruneDlg::SizeType;
    if (state & (Qt::WindowFullScreen | Qt::WindowMaximized)) return SizeType::kMaximized;
    if (state & Qt::WindowMinimized) return SizeType::kMinimized;
    return SizeType::kRestored;
}

}  // namespace

CKestruneDlg::CKestruneDlg(platform::MessageBoxes& messageBoxes, QWidget* parent,
                           std::unique_ptr<MediaPlayer> givenPlayer)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      boxes_(messageBoxes),
      operationLog_(std::make_unique<OutputLog>(messageBoxes, platform::SystemClock())) {
    EnsureResources();
    setWindowIcon(QIcon(QStringLiteral(":/res/kestrune.png")));
    session_ =
        std::make_unique<PlaybackSession>(boxes_, *operationLog_, *this, std::move(givenPlayer));
    OnInitDialog();
}

CKestruneDlg::~CKestruneDlg() {
    if (KestruneApplication* app = KestruneApplication::Instance()) app->SetFailureHandler({});
    qApp->removeEventFilter(input_);
    // An analysis under way ends before the session it would load its draft into.
    draft_.reset();
}

void CKestruneDlg::OnInitDialog() {
    setWindowTitle(QStringLiteral("QUAMBERPlayer"));
    setObjectName(QStringLiteral("mainWindow"));
    setFont(DialogFont(9));
    setSizeGripEnabled(false);
    const DialogBaseUnits units = BaseUnitsOf(font());
    resize(DialogUnitsToPixels(units, QSize(319, 295)));

    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);

    videoHost_ = new QWidget(this);
    videoHost_->setObjectName(QStringLiteral("videoHost"));
    videoHost_->setAttribute(Qt::WA_NativeWindow);
    videoHost_->setAttribute(Qt::WA_DontCreateNativeAncestors);
    videoHost_->setGeometry(DialogUnitsToPixels(units, QRect(0, 0, 320, 215)));
    videoHost_->setAutoFillBackground(true);
    QPalette videoPalette = videoHost_->palette();
    videoPalette.setColor(QPalette::Window, Qt::black);
    videoHost_->setPalette(videoPalette);
    videoSurface_ = new VideoSurface(*videoHost_);
    AttachVideoHost();

    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(200, 200, 200));
    setPalette(palette);

    // The panels are shown once the main window is (RaisePanels).
    topPanel_ = std::make_unique<CTopDlg>(this);
    topPanel_->SetTitle(QString());
    bottomPanel_ = std::make_unique<CBottomDlg>(this, *operationLog_);
    overlay_ = std::make_unique<OverlayText>(this);
    recordingMark_ = std::make_unique<OverlayText>(this, Qt::AlignRight, QColor(255, 60, 60));
    recordingMark_->setObjectName(QStringLiteral("recordingMark"));
    setAcceptDrops(true);

    initialised_ = true;
    minTrackWidth_ = width();
    minTrackHeight_ = height();
    setMinimumSize(minTrackWidth_, minTrackHeight_);
    Layout(SizeType::kRestored, ClientSize().width(), ClientSize().height());

    auto debug = std::make_unique<CDebugDlg>(this);
    debug->logLevel = profile::GetInt("DEBUG", "LOG_LEVEL", 0);
    if (debug->logLevel != 0) debug->CreateWindow();
    // Which settings file was read comes before what was read from it.
    if (const auto& settings = configuration::CurrentIniChoice()) {
        debug->LogNote(settings->Describe());
    }
    logger_ = std::move(debug);

    session_->StartDevice(logger_.get(), ReadDongleSettings(), ReadSyncOffsetMs());
    session_->SetDvdWholeSecondClock(ReadDvdWholeSecondClock());
    session_->SetAuthoringSettings(ReadAuthoringSettings());
    bottomPanel_->SetDeviceName(QString::fromStdString(session_->DeviceName()));
    deviceWatch_ =
        std::make_unique<DeviceWatch>(QString::fromStdString(platform::SerialDeviceDirectory()),
                                      [this] { OnDeviceChange(DBT_DEVNODES_CHANGED); });

    menus_ = new MainMenus(*menuBar_, *this, *session_, *operationLog_, boxes_);
    draft_ = std::make_unique<PictureDraft>(*this, *session_, *operationLog_, boxes_);
    connect(menus_, &MainMenus::DraftRequested, draft_.get(), &PictureDraft::Start);
    menus_->Rebuild();
    ConnectBar();

    // Keys, the mouse over the video and drags are looked at before any window of the
    // player gets them.
    input_ =
        new MainWindowInput({this, videoHost_, topPanel_.get(), bottomPanel_.get(), overlay_.get(),
                             [this] { return maximised_; }, [this] { RaisePanelsLater(); }},
                            *session_, *operationLog_);
    qApp->installEventFilter(input_);
    connect(input_, &MainWindowInput::RecordingToggled, menus_, &MainMenus::ToggleRecording,
            Qt::QueuedConnection);

    // An exception that escapes a handler: the device stops first, then playback, and the
    // user is told; the player goes on.
    if (KestruneApplication* app = KestruneApplication::Instance()) {
        app->SetFailureHandler([this](const char*) { session_->StopAfterFailure(); });
    }
}

// The bar's commands, each taken once the event that gave it is done, in the order given.
void CKestruneDlg::ConnectBar() {
    const CBottomMainDlg* bar = bottomPanel_->Bar();
    PlaybackSession* session = session_.get();
    const auto queued = Qt::QueuedConnection;
    connect(
        bar, &CBottomMainDlg::PlayClicked, this, [session] { session->Play(); }, queued);
    connect(
        bar, &CBottomMainDlg::PauseClicked, this, [session] { session->Pause(); }, queued);
    connect(bar, &CBottomMainDlg::OpenVideoClicked, this, &CKestruneDlg::OnOpenVideo, queued);
    connect(bar, &CBottomMainDlg::OpenDvdClicked, this, &CKestruneDlg::OnOpenDvd, queued);
    connect(bar, &CBottomMainDlg::OpenPlayFileClicked, this, &CKestruneDlg::OnOpenPlayFile, queued);
    connect(
        bar, &CBottomMainDlg::MuteClicked, this, [session] { session->ToggleMute(); }, queued);
    connect(
        bar, &CBottomMainDlg::RepeatClicked, this, [session] { session->ToggleRepeat(); }, queued);
    connect(bar, &CBottomMainDlg::FullScreenClicked, this, &CKestruneDlg::ToggleFullScreen, queued);
    connect(
        bar, &CBottomMainDlg::ForwardHeld, this,
        [session](bool held) { held ? session->HoldStart(true) : session->HoldEnd(true); }, queued);
    connect(
        bar, &CBottomMainDlg::RewindHeld, this,
        [session](bool held) { held ? session->HoldStart(false) : session->HoldEnd(false); },
        queued);
    connect(
        bar, &CBottomMainDlg::VolumeMoved, this, [session] { session->VolumeChanged(); }, queued);
    connect(
        bar, &CBottomMainDlg::SeekMoved, this,
        [session](int position) { session->SeekToPosition(position); }, queued);
}

// The native window can be re-created (its id changes); libvlc must always have the current one.
void CKestruneDlg::AttachVideoHost() {
    const uint32_t window = videoSurface_->OutputWindow();
    if (window == videoWindow_) return;
    videoWindow_ = window;
    session_->ShowVideoIn(window);
}

void CKestruneDlg::OnOpenVideo() {
    if (session_->IsBusyOpening()) return;
    if (const auto path = AskForVideoFile(this)) OpenVideoFile(*path);
}

// Allowed in every player state: playback goes on, and the new script is positioned on the
// next play, seek or device change.
void CKestruneDlg::OnOpenPlayFile() {
    if (const auto path = AskForPlayFile(this)) OpenPlayFile(*path);
}

void CKestruneDlg::OnOpenDvd() {
    if (session_->IsBusyOpening()) return;
    if (const auto path = AskForDvd(this)) OpenDvd(*path);
}

void CKestruneDlg::OpenVideoFile(const QString& path) {
    session_->OpenVideoFile(QFileInfo(path).absoluteFilePath().toStdString());
}

void CKestruneDlg::OpenPlayFile(const QString& path) {
    session_->OpenPlayFile(QFileInfo(path).absoluteFilePath().toStdString());
}

void CKestruneDlg::OpenDvd(const std::string& path) { session_->OpenDvd(path); }

void CKestruneDlg::ShowAbout() { menus_->ShowAbout(); }

void CKestruneDlg::RebuildMenu() { menus_->Rebuild(); }

void CKestruneDlg::ShowDiscMenu(bool shown) { videoSurface_->LetPointerThrough(shown); }

// "● REC" and the command in force: an arrow for the direction (0 to the right, as the
// pointer sets it with the default setting) and the speed, or a square at rest.
void CKestruneDlg::ShowRecording(bool on, uint8_t command) {
    if (!on) {
        recordingMark_->hide();
        return;
    }
    const int speed = command & 0x7F;
    const QString what = speed == 0 ? QStringLiteral("■")
                                    : QString((command & 0x80) != 0 ? QStringLiteral("◀ %1")
                                                                    : QStringLiteral("▶ %1"))
                                          .arg(speed);
    recordingMark_->ShowText(QStringLiteral("● REC  ") + what, input_->VideoAreaOnScreen(), 0);
}

void CKestruneDlg::ToggleFullScreen() {
    if (maximised_) {
        QMetaObject::invokeMethod(this, &CKestruneDlg::LeaveFullScreen, Qt::QueuedConnection);
    } else {
        QMetaObject::invokeMethod(this, &CKestruneDlg::EnterFullScreen, Qt::QueuedConnection);
    }
}

// Full screen is a frameless window covering the screen; the window manager drops the frame
// of a full-screen window. Without a window manager nothing confirms the state, so the mode
// is kept here and the geometry set directly.
void CKestruneDlg::EnterFullScreen() {
    if (fullScreenMode_) return;
    if (!(windowState() & Qt::WindowMaximized)) normalGeometry_ = geometry();
    fullScreenMode_ = true;
    fullScreenCorrections_ = 0;
    bottomPanel_->ToggleLayout();
    showFullScreen();
    if (QScreen* display = screen()) setGeometry(display->geometry());
}

// Back from full screen, the window takes the geometry it had before. When the window manager
// maximised it (the frame's maximise box), the window may have its maximised geometry by now,
// so the one kept by RememberNormalGeometry is used.
void CKestruneDlg::LeaveFullScreen() {
    if (!fullScreenMode_) return;
    fullScreenMode_ = false;
    bottomPanel_->ToggleLayout();
    showNormal();
    if (normalGeometry_.isValid()) setGeometry(normalGeometry_);
}

void CKestruneDlg::changeEvent(QEvent* e) {
    QDialog::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) RaisePanelsLater();
    // Minimised, the panels are left to the window manager, which minimises a window's
    // utility windows with it and brings them back with it. Hiding them here as well raced
    // with that: a panel withdrawn while the window manager was minimising it was mapped again
    // on restore and then dropped, and the bar stayed away.
    if (e->type() != QEvent::WindowStateChange || (windowState() & Qt::WindowMinimized)) return;
    RaisePanelsLater();
    // The frame's maximise box leads to full screen as the bar's button does.
    if ((windowState() & Qt::WindowMaximized) && !fullScreenMode_) {
        QMetaObject::invokeMethod(this, &CKestruneDlg::EnterFullScreen, Qt::QueuedConnection);
    }
}

QSize CKestruneDlg::ClientSize() const {
    const int menuHeight = menuBar_ != nullptr ? menuBar_->sizeHint().height() : 0;
    return {width(), height() - menuHeight};
}

void CKestruneDlg::Layout(SizeType sizeType, int w, int h) {
    if (!initialised_) return;
    if (w == 0 && h == 0) {
        w = ClientSize().width();
        h = ClientSize().height();
    }
    if (sizeType == SizeType::kMaximized) {
        maximised_ = true;
        topPanel_->HidePanels();
    } else {
        maximised_ = false;
        if (isVisible() && !isMinimized()) topPanel_->ShowPanels();
    }
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, w, menuHeight);
    videoHost_->setGeometry(VideoHostRect(w, h, menuHeight));
    videoHost_->lower();
    videoHost_->show();
}

// The panels are the main window's utility windows, and a window manager keeps them above it
// only if they are mapped after it: a window owned by a window the manager does not manage
// yet is stacked as a window of its own. Shown (and raised) here, once the main window is
// mapped, and again whenever the main window may have come above them: activated, restored,
// or clicked, for window managers that do not keep owned windows above their owner.
void CKestruneDlg::RaisePanels() {
    if (!isVisible() || isMinimized()) return;
    bottomPanel_->ShowPanels();
    if (!maximised_) topPanel_->ShowPanels();
}

void CKestruneDlg::RaisePanelsLater() {
    QMetaObject::invokeMethod(this, &CKestruneDlg::RaisePanels, Qt::QueuedConnection);
}

void CKestruneDlg::RepositionPanels() {
    if (topPanel_) topPanel_->Reposition();
    if (bottomPanel_) bottomPanel_->Reposition();
    if (recordingMark_ && recordingMark_->isVisible() && input_ != nullptr) {
        recordingMark_->FollowArea(input_->VideoAreaOnScreen());
    }
    if (overlay_ && overlay_->isVisible() && input_ != nullptr) {
        overlay_->FollowArea(input_->VideoAreaOnScreen());
    }
}

void CKestruneDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    KeepFullScreenGeometry();
    RememberNormalGeometry();
    Layout(fullScreenMode_ ? SizeType::kMaximized : SizeTypeOf(windowState()), ClientSize().width(),
           ClientSize().height());
    update();
    RepositionPanels();
}

void CKestruneDlg::moveEvent(QMoveEvent* e) {
    QDialog::moveEvent(e);
    KeepFullScreenGeometry();
    RememberNormalGeometry();
    RepositionPanels();
}

// In full screen the window has one right geometry, the screen's. The window manager
// confirms the steps on its way there (the frame taken off, the window moved, then resized),
// and a confirmation that arrives after the last one leaves Qt taking the window for its
// earlier size, and the panels placed for that size. The screen's geometry is asked for again
// from the event loop, a few times at most, so a window manager that insists keeps its way.
void CKestruneDlg::KeepFullScreenGeometry() {
    const QScreen* display = screen();
    if (!fullScreenMode_ || display == nullptr || geometry() == display->geometry()) return;
    if (fullScreenCorrections_ >= kMaxFullScreenCorrections) return;
    ++fullScreenCorrections_;
    QTimer::singleShot(0, this, [this] {
        const QScreen* now = screen();
        if (fullScreenMode_ && now != nullptr && geometry() != now->geometry()) {
            setGeometry(now->geometry());
        }
    });
}

// A window manager that maximises the window resizes it before it announces the state, and
// the two reach the window in either order: a geometry that covers the screen's work area is
// taken for the maximised one, not kept as the normal geometry.
void CKestruneDlg::RememberNormalGeometry() {
    if (fullScreenMode_ || (windowState() & ~Qt::WindowActive) != Qt::WindowNoState) return;
    const QScreen* display = screen();
    if (display != nullptr && frameGeometry().contains(display->availableGeometry())) return;
    normalGeometry_ = geometry();
}

void CKestruneDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    AttachVideoHost();
    RepositionPanels();
    // The window is mapped after this event; the panels follow it (see RaisePanels).
    RaisePanelsLater();
}

void CKestruneDlg::closeEvent(QCloseEvent* e) {
    session_->Close();
    QDialog::closeEvent(e);
}

// Escape never cancels the window; in full screen it clicks the full-screen button. Enter
// never closes it.
void CKestruneDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Escape:
            input_->LeaveFullScreen();
            e->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            e->accept();
            return;
        default:
            QDialog::keyPressEvent(e);
    }
}

// A serial device belongs to a group (dialout) that a new user is seldom in: the device would
// never move, and the open failure alone goes only to the debug window.
void CKestruneDlg::ShowDeviceAccessDenied(const std::string& device, const std::string& group) {
    boxes_.Show(DeviceAccessDeniedText(device, group, platform::UserName()),
                QT_TRANSLATE_NOOP("MessageBoxes", "USBドングルエラー"));
}

void CKestruneDlg::OnDeviceChange(unsigned event) {
    if (event != DBT_DEVNODES_CHANGED) return;
    session_->DevicesChanged();
    bottomPanel_->SetDeviceName(QString::fromStdString(session_->DeviceName()));
}

void CKestruneDlg::ShowTitle(const std::string& title, bool opening) {
    const QString text = QString::fromStdString(title);
    topPanel_->SetTitle(opening ? tr("%1(メディアを開いています...)").arg(text) : text);
}

void CKestruneDlg::ShowElapsed(const std::string& text) {
    bottomPanel_->SetElapsedTime(QString::fromStdString(text));
}

void CKestruneDlg::ShowTotal(const std::string& text) {
    bottomPanel_->SetTotalTime(QString::fromStdString(text));
}

void CKestruneDlg::ShowPosition(int position) { bottomPanel_->SetMediaPosition(position); }

void CKestruneDlg::ShowCounter(int64_t timeMs) { bottomPanel_->SetCounter(timeMs); }

void CKestruneDlg::ShowScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) {
    bottomPanel_->SetScriptHeat(lines, lengthMs);
}

void CKestruneDlg::ClearScriptHeat() { bottomPanel_->ClearScriptHeat(); }

void CKestruneDlg::ShowMute(bool on) { bottomPanel_->SetMuteState(on); }

void CKestruneDlg::ShowRepeat(bool on) { bottomPanel_->SetRepeatState(on); }

int CKestruneDlg::Volume() const { return bottomPanel_->GetVolume(); }

void CKestruneDlg::StartTimer(SessionTimer timer, int ms) {
    timers_[static_cast<size_t>(timer)].start(ms, Qt::CoarseTimer, this);
}

void CKestruneDlg::StopTimer(SessionTimer timer) { timers_[static_cast<size_t>(timer)].stop(); }

bool CKestruneDlg::IsTimerActive(SessionTimer timer) const {
    return timers_[static_cast<size_t>(timer)].isActive();
}

void CKestruneDlg::timerEvent(QTimerEvent* e) {
    for (size_t i = 0; i < timers_.size(); ++i) {
        if (timers_[i].timerId() == e->timerId()) session_->OnTimer(static_cast<SessionTimer>(i));
    }
    QDialog::timerEvent(e);
}

void CKestruneDlg::Post(std::function<void()> task) { tasks_.Post(std::move(task)); }
