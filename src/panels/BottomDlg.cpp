#include "panels/BottomDlg.h"

#include "panels/BottomMainDlg.h"
#include "panels/PanelGeometry.h"

CBottomDlg::CBottomDlg(QWidget* mainWindow, OutputLog& log)
    : PanelHost(mainWindow), bar(new CBottomMainDlg(this, mainWindow, log)) {
    setObjectName(QStringLiteral("bottomPanel"));
    SetContent(bar);
}

CBottomDlg::~CBottomDlg() = default;

void CBottomDlg::Reposition() {
    if (MainWindow() == nullptr) return;
    PlaceAt(BottomPanelRect(MainClientRect(), expanded));
    bar->FollowHost();
}

void CBottomDlg::ToggleLayout() {
    expanded = !expanded;
    Reposition();
    bar->ApplyLayoutMode(expanded);
}

void CBottomDlg::SetDeviceName(const QString& name) { bar->SetDeviceName(name); }

QAbstractButton* CBottomDlg::GetMaximizeButton() const { return bar->GetMaximizeButton(); }
