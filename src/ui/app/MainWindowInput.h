#pragma once

// The main window's keys, the mouse over its video and the files dropped on its windows,
// looked at before any window of the player gets them (an event filter on the application).
// Each key that stands for a control of the bar goes through that control (its signal and its
// operation-log line), so a key and a click leave the same trace. Keys with Control, Alt or
// Meta are left to the menus and the desktop. Owned by the main window.
//
//   Space             play, or pause while playing      Up / Down, wheel   volume +5 / -5
//   Left / Right      seek 5 s back / on                M                  mute
//   ] / [ (Shift: ±10) offset +50 / -50 ms              F, double click    full screen
//   Escape            leaves full screen                drop               open what it holds
//   R                 records a play file, or ends the recording (the pointer across the video
//                     sets the command meanwhile)
// While a disc shows its menu, the arrows move between the menu's buttons and Enter activates
// one (the pointer reaches them through VideoSurface). Over a video that shows, the pointer
// hides after a second of rest.

#include <QObject>
#include <QRect>
#include <QTimer>
#include <functional>

class CBottomDlg;
class OutputLog;
class OverlayText;
class PlaybackSession;
class QKeyEvent;
class QWidget;

class MainWindowInput final : public QObject {
    Q_OBJECT

public:
    // Its lines have always been logged under the main window's source name.
    static constexpr const char* kOutputLogSource = "KestruneDlg.cpp";
    static constexpr int64_t kKeySeekMs = 5000;
    static constexpr int kKeyVolumeStep = 5;
    static constexpr int kOffsetStepMs = 50;
    static constexpr int kOffsetFineStepMs = 10;
    static constexpr int kPointerRestMs = 1000;

    // The windows it serves; all lent, and they outlive this.
    struct Windows {
        QWidget* main = nullptr;
        QWidget* videoHost = nullptr;
        QWidget* topPanel = nullptr;
        CBottomDlg* bottomPanel = nullptr;
        OverlayText* overlay = nullptr;
        // Whether the main window shows full screen.
        std::function<bool()> fullScreen;
        // After a click on the main window: its panels come above it again.
        std::function<void()> raisePanels;
    };

    MainWindowInput(Windows windows, PlaybackSession& session, OutputLog& log);

    bool eventFilter(QObject* watched, QEvent* e) override;
    // Escape: in full screen, the full-screen button.
    void LeaveFullScreen();
    // The video's area on the screen, below the title band where it shows.
    [[nodiscard]] QRect VideoAreaOnScreen() const;

signals:
    // R: the menu's recording item, as if clicked.
    void RecordingToggled();

private:
    [[nodiscard]] bool IsOwnWindow(const QWidget* top) const;
    bool HandleKey(const QKeyEvent& key);
    bool HandleMenuKey(const QKeyEvent& key);
    bool HandleVideoMouse(QEvent* e);
    bool HandleDrag(QEvent* e);
    // The pointer moved over the video: it shows, and hides again after kPointerRestMs.
    void PointerMoved();
    void ClickBarButton(int id);
    void ChangeOffset(int deltaMs);

    Windows windows_;
    PlaybackSession& session_;
    OutputLog& log_;
    int wheelRemainder_ = 0;  // wheel turn short of a notch
    QTimer pointerRest_;
};
