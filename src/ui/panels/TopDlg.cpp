#include "panels/TopDlg.h"

#include "panels/PanelGeometry.h"
#include "panels/TopMainDlg.h"

CTopDlg::CTopDlg(QWidget* mainWindow) : PanelHost(mainWindow), titleBar(new CTopMainDlg(this)) {
    setObjectName(QStringLiteral("topPanel"));
    SetContent(titleBar);
}

void CTopDlg::Reposition() {
    if (MainWindow() == nullptr) return;
    PlaceAt(TopPanelRect(MainClientRect()));
    titleBar->FollowHost();
}

void CTopDlg::SetTitle(const QString& text) { titleBar->SetTitle(text); }

QString CTopDlg::Title() const { return titleBar->Title(); }
