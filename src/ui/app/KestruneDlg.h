#pragma once

// The main window "QUAMBERPlayer": hosts the video, owns every long-lived object of the run
// and is the hub through which the parts talk. Everything reaches it on the user-interface
// thread: application messages (posted AppMessageEvents, dispatched in OnAppMessage),
// timers, device changes and the window's own events.
//
// Owned objects, released in this order when the window object is destroyed:
//   topPanel_, bottomPanel_, sync_, logger_ (the debug window), dongle_, operationLog_, player_.

#include <QBasicTimer>
#include <QDialog>
#include <QRect>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "log/OutputLog.h"
#include "player/AdjustedPlayer.h"

struct libvlc_event_t;

class CBottomDlg;
class QMenu;
class QMenuBar;
class DeviceWatch;
class CTopDlg;
class OverlayText;
class QKeyEvent;
class Logger;
class SyncDriver;
class UsbDongle;

namespace platform {
class MessageBoxes;
}

enum TimerId : int {
    TIMER_SYNC = 1,
    TIMER_FORWARD = 2,
    TIMER_REWIND = 3,
    // One shot at the time of a line due before the next synchronisation tick.
    TIMER_LINE = 4,
};

// The device-change event that means "devices were added or removed".
inline constexpr unsigned DBT_DEVNODES_CHANGED = 7;

// The box that says the user may not open the dongle's device node, owned by `group`, and
// how `user` gets in, in the interface's language.
[[nodiscard]] std::string DeviceAccessDeniedText(const std::string& device,
                                                 const std::string& group, const std::string& user);

// Where the video host goes for a client area of the given size below a menu bar of
// `menuHeight` pixels.
[[nodiscard]] QRect VideoHostRect(int clientWidth, int clientHeight, int menuHeight = 0);

class CKestruneDlg final : public QDialog {
    Q_OBJECT

public:
    // The window's handlers are split over three files; its log lines name one source.
    static constexpr const char* kOutputLogSource = "KestruneDlg.cpp";
    static constexpr int kAboutCommand = 40100;
    // How the window is shown, as its layout is told: full screen counts as maximised.
    enum class SizeType { kRestored, kMinimized, kMaximized };
    // The keys' steps: a seek by the arrow keys, the volume by the arrow keys and the wheel,
    // and the user's offset by the bracket keys (fine with Shift).
    static constexpr int64_t kKeySeekMs = 5000;
    static constexpr int kKeyVolumeStep = 5;
    static constexpr int kOffsetStepMs = 50;
    static constexpr int kOffsetFineStepMs = 10;
    // The synchronisation tick: reads the clock and sends the line due.
    static constexpr int kSyncPeriodMs = 40;
    // Times the screen's geometry is asked for again after going full screen.
    static constexpr int kMaxFullScreenCorrections = 4;

    // Creates the player (unless one is given) and opens the operation log, then
    // initialises the window: video host, panels, minimum size, debug window, device link.
    // `boxes` shows the error boxes and must outlive the window.
    explicit CKestruneDlg(platform::MessageBoxes& boxes, QWidget* parent = nullptr,
                          std::unique_ptr<AdjustedPlayer> player = nullptr);
    ~CKestruneDlg() override;

    // The system reports a device change; only DBT_DEVNODES_CHANGED is acted on.
    void OnDeviceChange(unsigned event);

    // libvlc's event callback, on libvlc's threads: logs the event and posts it here.
    static void PlayerEventCallback(const libvlc_event_t* event, void* userData) noexcept;

    // Opens a video file as the open-video command does after its dialog: the video is
    // loaded but not started.
    void OpenVideoFile(const QString& path);
    // Loads a play file as the open-play-file command does after its dialog.
    void OpenPlayFile(const QString& path);
    // Opens a DVD drive, DVD folder or image as the open-DVD command does after its dialog:
    // location "dvd://" + path, played at once.
    void OpenDvd(const std::string& path);

    // Rebuilds the menu bar from the titles and chapters the player reports.
    void BuildMenu();
    // The menu commands: 32000 + title, 32100 + chapter, 40100 About.
    void OnMenuCommand(int id);
    [[nodiscard]] QMenuBar* MenuBar() const { return menuBar_; }

    // Window timers by id: starting a running timer restarts it.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    [[nodiscard]] bool IsTimerActive(int id) const;

    [[nodiscard]] bool IsMaximised() const { return maximised_; }
    [[nodiscard]] QWidget* VideoHost() const { return videoHost_; }
    [[nodiscard]] QSize MinimumTrackSize() const { return {minTrackWidth_, minTrackHeight_}; }
    [[nodiscard]] OutputLog& GetOperationLog() { return *operationLog_; }
    [[nodiscard]] Logger* GetLogger() const { return logger_.get(); }
    [[nodiscard]] CTopDlg* TopPanel() const { return topPanel_.get(); }
    [[nodiscard]] CBottomDlg* BottomPanel() const { return bottomPanel_.get(); }
    [[nodiscard]] AdjustedPlayer& Player() { return *player_; }
    [[nodiscard]] bool IsRepeat() const { return repeat_; }
    [[nodiscard]] bool IsMuted() const { return muted_; }
    [[nodiscard]] bool IsOpening() const { return opening_; }
    [[nodiscard]] UsbDongle& Dongle() const { return *dongle_; }
    [[nodiscard]] SyncDriver& Sync() const { return *sync_; }
    [[nodiscard]] OverlayText* Overlay() const { return overlay_.get(); }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    // Playback commands and player events (KestruneDlgPlayback.cpp).
    void HandlePlayerEvent(int type);
    void ShowOpeningTitle();
    void ShowMediaTitle();
    void OnPlaybackError();
    void OnOpenVideo();
    void OnOpenDvd();
    // `tooMany`: the source text of the box for more names than the menu takes.
    void AddMenuItems(QMenu* menu, const std::vector<std::string>& names, int firstId,
                      const char* tooMany);
    // The client area below the menu bar.
    [[nodiscard]] QSize ClientSize() const;
    void OnOpenPlayFile();
    void OnPlay();
    void OnPause();
    void OnMediaEnded();
    void OnToggleMute();
    void OnToggleRepeat();
    void OnVolumeChanged();
    void OnApplyVolume();
    void OnPositionChanged(int position);
    void OnSeek();
    void OnHoldStart(int timerId);
    void OnHoldEnd(int timerId);
    void OnHoldStep(int timerId);
    void OnMediaStopped();
    void RefreshTimeDisplay();
    [[nodiscard]] bool IsBusyOpening() const;

    void OnInitDialog();
    void AttachVideoHost();
    void OnAppMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    void OnSysCommand(unsigned command);
    void OnToggleFullScreen();
    void OnTimer(int id);
    void ArmLineTimer();
    void Layout(SizeType sizeType, int width, int height);
    void RepositionPanels();
    void RaisePanels();
    void RememberNormalGeometry();
    void KeepFullScreenGeometry();
    void OnDeviceAccessDenied();
    void OnUnexpectedFailure();
    void HandleEscape();

    // Keys, the mouse over the video and dropped files (KestruneDlgInput.cpp).
    [[nodiscard]] bool IsOwnWindow(const QWidget* top) const;
    bool HandleKey(const QKeyEvent& key);
    bool HandleVideoMouse(QEvent* e);
    bool HandleDrag(QEvent* e);
    void ClickBarButton(int id);
    void StepVolume(int delta);
    void OnSeekBy(int64_t deltaMs);
    void ChangeOffset(int deltaMs);
    [[nodiscard]] QRect VideoAreaOnScreen() const;
    void OnOpenDropped();

    // Declared in the reverse of the release order.
    std::unique_ptr<AdjustedPlayer> player_;
    platform::MessageBoxes& boxes_;
    bool muted_ = false;
    bool repeat_ = false;
    std::string mediaLocation_;  // UTF-8: a file path or a "dvd://" location
    std::string displayTitle_;   // UTF-8
    int minTrackWidth_ = 0;
    int minTrackHeight_ = 0;
    bool initialised_ = false;
    bool maximised_ = false;
    bool opening_ = false;
    // Whether the media being played has, since it was opened, reported a length, reached the
    // playing state, and had a video output.
    bool mediaHasLength_ = false;
    bool mediaReachedPlaying_ = false;
    bool mediaShowedPicture_ = false;
    bool volumeInitialised_ = false;
    PlayerState holdState_ = PlayerState::kNothingSpecial;
    int64_t holdElapsed_ = 0;
    // Where the held button has taken the video so far. Steps add to it rather than to the
    // player's time: paused, libvlc reports a seek late, and on a busy machine it read 0
    // for a while, which sent fast forward back to the start.
    int64_t holdPosition_ = 0;
    int64_t seekTarget_ = 0;
    QWidget* videoHost_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    std::unique_ptr<OutputLog> operationLog_;
    bool firstShow_ = true;
    std::unique_ptr<UsbDongle> dongle_;
    std::unique_ptr<Logger> logger_;
    std::unique_ptr<SyncDriver> sync_;
    std::unique_ptr<CBottomDlg> bottomPanel_;
    std::unique_ptr<CTopDlg> topPanel_;
    std::unique_ptr<DeviceWatch> deviceWatch_;
    std::unique_ptr<OverlayText> overlay_;
    std::vector<std::string> droppedFiles_;  // local names, waiting for WM_APP_OPEN_DROPPED
    int wheelRemainder_ = 0;                 // wheel turn short of a notch
    // The device node the user may not open, and the group that owns it.
    std::string deniedDevice_;
    std::string deniedGroup_;

    std::array<QBasicTimer, 5> timers_;  // indexed by TimerId
    bool lastStepHeldUp_ = false;        // the last sync step waited a write time-out
    bool fullScreenMode_ = false;        // between the maximise and the restore command
    int fullScreenCorrections_ = 0;      // made since then (see KeepFullScreenGeometry)
    QRect normalGeometry_;               // the framed window's last geometry in the normal state
    WId videoWindow_ = 0;                // the native window libvlc draws into
};
