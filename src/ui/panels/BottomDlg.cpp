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
    bar->SetExpanded(expanded);
    Reposition();
    bar->ApplyLayoutMode();
}

void CBottomDlg::SetDeviceName(const QString& name) { bar->SetDeviceName(name); }

QAbstractButton* CBottomDlg::GetMaximizeButton() const { return bar->GetMaximizeButton(); }

void CBottomDlg::SetCounter(int64_t time) { bar->SetCounter(time); }

void CBottomDlg::SetMediaPosition(int position) { bar->SetMediaPosition(position); }

void CBottomDlg::SetElapsedTime(const QString& text) { bar->SetElapsedTime(text); }

void CBottomDlg::SetTotalTime(const QString& text) { bar->SetTotalTime(text); }

void CBottomDlg::SetMuteState(bool on) { bar->SetMuteState(on); }

void CBottomDlg::SetRepeatState(bool on) { bar->SetRepeatState(on); }

int CBottomDlg::GetVolume() const { return bar->GetVolume(); }
