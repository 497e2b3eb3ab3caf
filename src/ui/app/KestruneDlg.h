#pragma once

// The main window "QUAMBERPlayer": hosts the video, the overlay panels, the menus and the
// dialogs, and turns the user's input into calls of the playback session, which decides what
// playback and the device do and tells the window what to show (the window is its
// PlaybackView). The bar's signals reach the session here, queued, as they were given; keys,
// the mouse and drops go through MainWindowInput, the menus through MainMenus.
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
#include "widgets/PostedTasks.h"

class CBottomDlg;
class CTopDlg;
class DeviceWatch;
class Logger;
class MainMenus;
class MainWindowInput;
class PictureDraft;
class OverlayText;
class QMenuBar;
class VideoSurface;

namespace platform {
class MessageBoxes;
}

// The device-change event that means "devices were added or removed".
inline constexpr unsigned DBT_DEVNODES_CHANGED = 7;

class CKestruneDlg final : public QDialog, public PlaybackView {
    Q_OBJECT

public:
    // The window's log lines name one source, whichever of its classes writes them.
    static constexpr const char* kOutputLogSource = "KestruneDlg.cpp";
    // How the window is shown, as its layout is told: full screen counts as maximised.
    enum class SizeType { kRestored, kMinimized, kMaximized };
    // Times the screen's geometry is asked for again after going full screen.
    static constexpr int kMaxFullScreenCorrections = 4;

    // Creates the player (unless one is given) and opens the operation log, then
    // initialises the window: video host, panels, minimum size, debug window, device link.
    // `boxes` shows the error boxes and must outlive the window.
    explicit CKestruneDlg(platform::MessageBoxes& boxes, QWidget* parent = nullptr,
                          std::unique_ptr<MediaPlayer> player = nullptr);
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
    // Full screen on or off, as the bar's button does.
    void ToggleFullScreen();
    // The About box, as its menu item opens it.
    void ShowAbout();

    [[nodiscard]] PlaybackSession& Session() const { return *session_; }
    [[nodiscard]] QMenuBar* MenuBar() const { return menuBar_; }
    [[nodiscard]] bool IsMaximised() const { return maximised_; }
    [[nodiscard]] QWidget* VideoHost() const { return videoHost_; }
    [[nodiscard]] VideoSurface& Video() const { return *videoSurface_; }
    [[nodiscard]] PictureDraft& Draft() const { return *draft_; }
    [[nodiscard]] QSize MinimumTrackSize() const { return {minTrackWidth_, minTrackHeight_}; }
    [[nodiscard]] OutputLog& GetOperationLog() { return *operationLog_; }
    [[nodiscard]] Logger* GetLogger() const { return logger_.get(); }
    [[nodiscard]] CTopDlg* TopPanel() const { return topPanel_.get(); }
    [[nodiscard]] CBottomDlg* BottomPanel() const { return bottomPanel_.get(); }
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
    void RebuildMenu() override;
    void ShowDiscMenu(bool shown) override;
    void ShowRecording(bool on, uint8_t command) override;
    void ShowDeviceAccessDenied(const std::string& device, const std::string& group) override;
    [[nodiscard]] int Volume() const override;
    void Repaint() override { update(); }
    void StartTimer(SessionTimer timer, int ms) override;
    void StopTimer(SessionTimer timer) override;
    [[nodiscard]] bool IsTimerActive(SessionTimer timer) const override;
    void Post(std::function<void()> task) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    void OnInitDialog();
    void ConnectBar();
    void OnOpenVideo();
    void OnOpenDvd();
    void OnOpenPlayFile();
    void AttachVideoHost();
    // The client area below the menu bar.
    [[nodiscard]] QSize ClientSize() const;
    void EnterFullScreen();
    void LeaveFullScreen();
    void Layout(SizeType sizeType, int width, int height);
    void RepositionPanels();
    void RaisePanels();
    // Raises the panels once the event at hand is done (the window may be mapped only then).
    void RaisePanelsLater();
    void RememberNormalGeometry();
    void KeepFullScreenGeometry();

    // Declared in the reverse of the release order.
    platform::MessageBoxes& boxes_;
    std::unique_ptr<OutputLog> operationLog_;
    std::unique_ptr<Logger> logger_;
    PostedTasks tasks_{this};  // outlives the session, whose threads post to it until it ends
    std::unique_ptr<PlaybackSession> session_;
    int minTrackWidth_ = 0;
    int minTrackHeight_ = 0;
    bool initialised_ = false;
    bool maximised_ = false;
    QWidget* videoHost_ = nullptr;
    VideoSurface* videoSurface_ = nullptr;  // a child of the video host
    QMenuBar* menuBar_ = nullptr;
    std::unique_ptr<CBottomDlg> bottomPanel_;
    std::unique_ptr<CTopDlg> topPanel_;
    std::unique_ptr<OverlayText> overlay_;
    std::unique_ptr<OverlayText> recordingMark_;
    MainMenus* menus_ = nullptr;        // a child of the menu bar
    MainWindowInput* input_ = nullptr;  // a child of the window
    std::unique_ptr<DeviceWatch> deviceWatch_;
    std::unique_ptr<PictureDraft> draft_;

    // The session's timers: fast forward and rewind held, and the pause before a repeat.
    std::array<QBasicTimer, 3> timers_;
    bool fullScreenMode_ = false;    // between going full screen and coming back
    int fullScreenCorrections_ = 0;  // made since then (see KeepFullScreenGeometry)
    QRect normalGeometry_;           // the framed window's last geometry in the normal state
    uint32_t videoWindow_ = 0;       // the X window libvlc draws into
};
