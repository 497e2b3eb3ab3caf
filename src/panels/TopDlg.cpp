#include "panels/TopDlg.h"

#include "panels/PanelGeometry.h"

CTopDlg::CTopDlg(QWidget* mainWindow) : PanelHost(mainWindow) {
    setObjectName(QStringLiteral("topPanel"));
}

void CTopDlg::Reposition() {
    if (MainWindow() == nullptr) return;
    PlaceAt(TopPanelRect(MainClientRect()));
}

void CTopDlg::SetTitle(const QString&) {}
