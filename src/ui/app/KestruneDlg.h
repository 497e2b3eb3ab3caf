#pragma once

// The main window "QUAMBERPlayer": hosts the video, the overlay panels, the menus and the
// dialogs, and turns the user's input into calls of the playback session, which decides what
// playback and the device do and tells the window what to show (the window is its
// PlaybackView). Everything reaches it on the user-interface thread: application messages
// (posted AppMessageEvents, dispatched in OnAppMessage), timers, device changes and the
// window's own events.
//
// Owned objects, released in this order when the window object is destroyed:
//   deviceWatch_, overlay_, topPanel_, bottomPanel_, session_ (the player and the device
//   link), logger_ (the debug window), operationLog_.

#include <QBasicTimer>
#include <QDialog>
#include <QRect>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "log/OutputLog.h"
#include "session/PlaybackSession.h"
#include "session/PlaybackView.h"

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

// The window's timers, which run the session's: fast forward and rewind held, and the pause
// before a repeat. (The synchronisation's ticks run on the device thread.)
enum TimerId : int {
    TIMER_FORWARD = 2,
    TIMER_REWIND = 3,
    TIMER_REPEAT = 4,
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

class CKestruneDlg final : public QDialog, public PlaybackView {
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
    [[nodiscard]] PlaybackSession& Session() const { return *session_; }
    [[nodiscard]] AdjustedPlayer& Player() { return session_->Player(); }
    [[nodiscard]] bool IsRepeat() const { return session_->IsRepeat(); }
    [[nodiscard]] bool IsMuted() const { return session_->IsMuted(); }
    [[nodiscard]] bool IsOpening() const { return session_->IsOpening(); }
    [[nodiscard]] SyncDriver& Sync() const { return session_->Sync(); }
    [[nodiscard]] OverlayText* Overlay() const { return overlay_.get(); }

    // PlaybackView: what the session shows.
    void ShowTitle(const std::string& title, bool opening) override;
    void ShowElapsed(const std::string& text) override;
    void ShowTotal(const std::string& text) override;
    void ShowPosition(int position) override;
    void ShowCounter(int64_t timeMs) override;
    void ShowScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs) override;
    void ClearScriptHeat() override;
    void ShowMute(bool on) override;
    void ShowRepeat(bool on) override;
    void RebuildMenu() override { BuildMenu(); }
    void ShowDeviceAccessDenied(const std::string& device, const std::string& group) override;
    [[nodiscard]] int Volume() const override;
    void Repaint() override { update(); }
    void StartTimer(SessionTimer timer, int ms) override;
    void StopTimer(SessionTimer timer) override;
    [[nodiscard]] bool IsTimerActive(SessionTimer timer) const override;
    void Post(std::function<void()> task) override;

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
    // The dialogs of the bar's buttons and the menus (KestruneDlgMenu.cpp).
    void OnOpenVideo();
    void OnOpenDvd();
    void OnOpenPlayFile();
    // `tooMany`: the source text of the box for more names than the menu takes.
    void AddMenuItems(QMenu* menu, const std::vector<std::string>& names, int firstId,
                      const char* tooMany);

    // The client area below the menu bar.
    [[nodiscard]] QSize ClientSize() const;
    void OnInitDialog();
    void AttachVideoHost();
    void OnAppMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    void OnSysCommand(unsigned command);
    void OnToggleFullScreen();
    void Layout(SizeType sizeType, int width, int height);
    void RepositionPanels();
    void RaisePanels();
    void RememberNormalGeometry();
    void KeepFullScreenGeometry();
    void HandleEscape();

    // Keys, the mouse over the video and dropped files (KestruneDlgInput.cpp).
    [[nodiscard]] bool IsOwnWindow(const QWidget* top) const;
    bool HandleKey(const QKeyEvent& key);
    bool HandleVideoMouse(QEvent* e);
    bool HandleDrag(QEvent* e);
    void ClickBarButton(int id);
    void StepVolume(int delta);
    void ChangeOffset(int deltaMs);
    [[nodiscard]] QRect VideoAreaOnScreen() const;

    // Declared in the reverse of the release order.
    platform::MessageBoxes& boxes_;
    std::unique_ptr<OutputLog> operationLog_;
    std::unique_ptr<Logger> logger_;
    std::unique_ptr<PlaybackSession> session_;
    int minTrackWidth_ = 0;
    int minTrackHeight_ = 0;
    bool initialised_ = false;
    bool maximised_ = false;
    QWidget* videoHost_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    bool firstShow_ = true;
    std::unique_ptr<CBottomDlg> bottomPanel_;
    std::unique_ptr<CTopDlg> topPanel_;
    std::unique_ptr<OverlayText> overlay_;
    std::unique_ptr<DeviceWatch> deviceWatch_;
    std::vector<std::string> droppedFiles_;  // local names, waiting for WM_APP_OPEN_DROPPED
    int wheelRemainder_ = 0;                 // wheel turn short of a notch

    std::array<QBasicTimer, 5> timers_;  // indexed by TimerId
    bool fullScreenMode_ = false;        // between the maximise and the restore command
    int fullScreenCorrections_ = 0;      // made since then (see KeepFullScreenGeometry)
    QRect normalGeometry_;               // the framed window's last geometry in the normal state
    WId videoWindow_ = 0;                // the native window libvlc draws into
};
