#include "panels/TopDlg.h"

#include "panels/PanelGeometry.h"
#include "panels/TopMainDlg.h"

CTopDlg::CTopDlg(QWidget* mainWindow) : PanelHost(mainWindow), titleBar_(new CTopMainDlg(this)) {
    setObjectName(QStringLiteral("topPanel"));
    SetContent(titleBar_);
}

void CTopDlg::Reposition() {
    if (MainWindow() == nullptr) return;
    PlaceAt(TopPanelRect(MainClientRect()));
    titleBar_->FollowHost();
}

void CTopDlg::SetTitle(const QString& text) { titleBar_->SetTitle(text); }

QString CTopDlg::Title() const { return titleBar_->Title(); }
