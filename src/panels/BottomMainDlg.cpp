#include "panels/BottomMainDlg.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/AppMessage.h"
#include "log/OutputLog.h"

namespace {

constexpr int kButtonSize = 24;
constexpr int kMargin = 5;
constexpr int kLabelHeight = 17;

QLabel* MakeLabel(QWidget* parent, const QString& text, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    return label;
}

// Labels are rewritten only when their text changes.
void SetTextIfChanged(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

}  // namespace

QString CounterText(int64_t timeMs) {
    return QString::asprintf("%06lld", static_cast<long long>(timeMs / 100));
}

CBottomMainDlg::CBottomMainDlg(QWidget* host, QWidget* mainWindow, OutputLog& log)
    : QWidget(host, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow),
      log_(log),
      maximizeButton_(new QPushButton(QStringLiteral("□"), this)),
      elapsed_(MakeLabel(this, QStringLiteral("00:00:00"), "elapsedTime")),
      total_(MakeLabel(this, QStringLiteral("00:00:00"), "totalTime")),
      counter_(MakeLabel(this, QStringLiteral("000000"), "counter")) {
    setObjectName(QStringLiteral("bottomBar"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    maximizeButton_->setObjectName(QStringLiteral("maximizeButton"));
    maximizeButton_->setToolTip(QStringLiteral("全画面"));
    maximizeButton_->setFocusPolicy(Qt::NoFocus);
    maximizeButton_->setFixedSize(kButtonSize, kButtonSize);
    connect(maximizeButton_, &QPushButton::clicked, this, &CBottomMainDlg::OnMaximizeClicked);
}

void CBottomMainDlg::FollowHost() {
    const int y = height() - kButtonSize - kMargin;
    maximizeButton_->move(width() - kButtonSize - kMargin, y);
    const int labelY = y + (kButtonSize - kLabelHeight) / 2;
    elapsed_->setGeometry(kMargin, labelY, 60, kLabelHeight);
    total_->setGeometry(kMargin + 70, labelY, 60, kLabelHeight);
    counter_->setGeometry(kMargin + 140, labelY, 60, kLabelHeight);
}

void CBottomMainDlg::ApplyLayoutMode(bool) { FollowHost(); }

void CBottomMainDlg::SetDeviceName(const QString&) {}

void CBottomMainDlg::SetCounter(int64_t time) { SetTextIfChanged(counter_, CounterText(time)); }

void CBottomMainDlg::SetMediaPosition(int position) {
    mediaPosition_ = std::clamp(position, 0, 100);
}

void CBottomMainDlg::SetElapsedTime(const QString& text) { SetTextIfChanged(elapsed_, text); }

void CBottomMainDlg::SetTotalTime(const QString& text) { SetTextIfChanged(total_, text); }

QString CBottomMainDlg::ElapsedText() const { return elapsed_->text(); }

QString CBottomMainDlg::TotalText() const { return total_->text(); }

QString CBottomMainDlg::CounterLabelText() const { return counter_->text(); }

QAbstractButton* CBottomMainDlg::GetMaximizeButton() const { return maximizeButton_; }

void CBottomMainDlg::OnMaximizeClicked() {
    OUTPUT_LOG(log_, "最大化ボタンクリック");
    PostAppMessage(mainWindow_, WM_APP_TOGGLE_FULLSCREEN);
}
