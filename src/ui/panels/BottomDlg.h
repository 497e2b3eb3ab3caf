#pragma once

// The bottom overlay host: a translucent band along the bottom of the main window's client
// area carrying the control bar, 101 pixels high in window mode (three rows) and 38 in full
// screen (one row). Owned by the main window; every control of the bar is reached through
// this host.

#include <QString>
#include <cstdint>
#include <vector>

#include "panels/PanelHost.h"
#include "sync/PlayScript.h"

class CBottomMainDlg;
class OutputLog;
class QAbstractButton;

class CBottomDlg final : public PanelHost {
    Q_OBJECT

public:
    // `log` is the main window's operation log, which the bar writes to.
    CBottomDlg(QWidget* mainWindow, OutputLog& log);
    ~CBottomDlg() override;

    void Reposition();
    // Switches between the window-mode and the full-screen layout.
    void ToggleLayout();
    void SetDeviceName(const QString& name);
    // The playback time in ms; the bar shows it in tenths of a second.
    void SetCounter(int64_t time);
    // The seek slider's position, 0 to 100.
    void SetMediaPosition(int position);
    // The play file's intensity along a media of `lengthMs`, shown in the seek slider's
    // channel; no lines or no length clears it.
    void SetScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs);
    void ClearScriptHeat();
    void SetElapsedTime(const QString& text);
    void SetTotalTime(const QString& text);
    void SetMuteState(bool on);
    void SetRepeatState(bool on);
    // The volume slider's position, 0 to 100.
    [[nodiscard]] int GetVolume() const;
    [[nodiscard]] CBottomMainDlg* Bar() const { return bar_; }
    // The full-screen button, which the main window clicks when Escape leaves full screen.
    [[nodiscard]] QAbstractButton* GetMaximizeButton() const;

    [[nodiscard]] bool IsExpanded() const { return expanded_; }

private:
    bool expanded_ = true;  // three rows; false in full screen
    CBottomMainDlg* bar_;
};
