#include "panels/BottomMainDlg.h"

#include <QPushButton>

#include "app/AppMessage.h"
#include "log/OutputLog.h"

namespace {

constexpr int kButtonSize = 24;
constexpr int kMargin = 5;

}  // namespace

CBottomMainDlg::CBottomMainDlg(QWidget* host, QWidget* mainWindow, OutputLog& log)
    : QWidget(host, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      mainWindow_(mainWindow),
      log_(log),
      maximizeButton_(new QPushButton(QStringLiteral("□"), this)) {
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
    maximizeButton_->move(width() - kButtonSize - kMargin, height() - kButtonSize - kMargin);
}

void CBottomMainDlg::ApplyLayoutMode(bool) { FollowHost(); }

void CBottomMainDlg::SetDeviceName(const QString&) {}

QAbstractButton* CBottomMainDlg::GetMaximizeButton() const { return maximizeButton_; }

void CBottomMainDlg::OnMaximizeClicked() {
    OUTPUT_LOG(log_, "最大化ボタンクリック");
    PostAppMessage(mainWindow_, WM_APP_TOGGLE_FULLSCREEN);
}
