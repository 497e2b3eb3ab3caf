#include "panels/BottomDlg.h"

#include "panels/BottomMainDlg.h"
#include "panels/PanelGeometry.h"

CBottomDlg::CBottomDlg(QWidget* mainWindow, OutputLog& log)
    : PanelHost(mainWindow), bar_(new CBottomMainDlg(this, log)) {
    setObjectName(QStringLiteral("bottomPanel"));
    SetContent(bar_);
}

CBottomDlg::~CBottomDlg() = default;

void CBottomDlg::Reposition() {
    if (MainWindow() == nullptr) return;
    PlaceAt(BottomPanelRect(MainClientRect(), expanded_));
    bar_->FollowHost();
}

void CBottomDlg::ToggleLayout() {
    expanded_ = !expanded_;
    bar_->SetExpanded(expanded_);
    Reposition();
    bar_->ApplyLayoutMode();
}

void CBottomDlg::SetDeviceName(const QString& name) { bar_->SetDeviceName(name); }

QAbstractButton* CBottomDlg::GetMaximizeButton() const { return bar_->GetMaximizeButton(); }

void CBottomDlg::SetCounter(int64_t time) { bar_->SetCounter(time); }

void CBottomDlg::SetMediaPosition(int position) { bar_->SetMediaPosition(position); }

void CBottomDlg::SetScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) {
    bar_->SetScriptHeat(lines, lengthMs);
}

void CBottomDlg::ClearScriptHeat() { bar_->ClearScriptHeat(); }

void CBottomDlg::SetElapsedTime(const QString& text) { bar_->SetElapsedTime(text); }

void CBottomDlg::SetTotalTime(const QString& text) { bar_->SetTotalTime(text); }

void CBottomDlg::SetMuteState(bool on) { bar_->SetMuteState(on); }

void CBottomDlg::SetRepeatState(bool on) { bar_->SetRepeatState(on); }

int CBottomDlg::GetVolume() const { return bar_->GetVolume(); }
