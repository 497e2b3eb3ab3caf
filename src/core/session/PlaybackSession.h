#pragma once

// The playback session: what happens, and in which order, for each user command and each
// player event. Owns the player with its adjusted clock, the device link with the thread it
// runs on (DeviceLoop) and the SyncDriver with the play script, and the state of playback
// (opening, repeat, mute, a held seek button, a seek on its way). Reports to the user interface
// through a PlaybackView, writes the operation log's lines of the playback commands and events, and
// shows its boxes through MessageBoxes. Qt-free: tests drive it on a hand-set clock and the device
// fakes, or on real libvlc. Owned by the main window; used from the user-interface thread only, but
// for the player's event callback, which only logs and posts.
//
//   user command (bar, keys, menus, drops) ──> session ──> player (libvlc)
//   player event (libvlc thread) ──log, post──> session ──> SyncDriver ──post──> device thread
//                                                  └────> view (title, times, heat, boxes)

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "authoring/Recording.h"
#include "configuration/DongleSettings.h"
#include "configuration/SyncSettings.h"
#include "device/UsbDongle.h"
#include "player/MediaPlayer.h"
#include "player/PlayerEvent.h"
#include "session/PlaybackView.h"
#include "sync/DeviceLoop.h"

class Logger;
class OutputLog;
class SyncDriver;

namespace platform {
class MessageBoxes;
}

class PlaybackSession {
public:
    // The playback commands have always been logged under the main window's source name;
    // readers of the log group its lines by source.
    static constexpr const char* kOutputLogSource = "KestruneDlg.cpp";
    // The fast-forward and rewind steps while held, and the pause before a repeat.
    static constexpr int kHoldPeriodMs = 200;
    static constexpr int kRepeatPauseMs = 100;

    // Creates the player on libvlc (unless one is given) and attaches to its events. `boxes`, `log`
    // and `view` must outlive the session.
    PlaybackSession(platform::MessageBoxes& boxes, OutputLog& log, PlaybackView& view,
                    std::unique_ptr<MediaPlayer> player = nullptr);
    ~PlaybackSession();
    PlaybackSession(const PlaybackSession&) = delete;
    PlaybackSession& operator=(const PlaybackSession&) = delete;

    // Makes the device link with `dongle` (the system's serial devices when null), looks for
    // the dongle, and starts the device thread (`loop`, a thread of its own when null) and the
    // synchronisation with the user's offset. `logger` is lent, must outlive the session and
    // take calls from the device thread.
    void StartDevice(Logger* logger, const DongleSettings& settings, int offsetMs,
                     std::unique_ptr<UsbDongle> dongle = nullptr,
                     std::unique_ptr<DeviceLoop> loop = nullptr);

    // The X11 window the video is drawn into.
    void ShowVideoIn(uint32_t window) { player_->SetHwnd(window); }
    // DVDs opened from now on keep the whole-second clock rather than the picture's.
    void SetDvdWholeSecondClock(bool on) { dvdWholeSecondClock_ = on; }
    void SetAuthoringSettings(const AuthoringSettings& settings) { authoring_ = settings; }
    [[nodiscard]] const AuthoringSettings& Authoring() const { return authoring_; }

    // Commands, as the bar's buttons, the keys, the menus and the dialogs give them.
    void Play();
    void Pause();
    // A video file (UTF-8 path), loaded but not started.
    void OpenVideoFile(const std::string& path);
    // A DVD drive, folder or image, or a "dvd://" location as the user wrote it; played at
    // once. Ignored while media is opening.
    void OpenDvd(const std::string& path);
    // Replaces the play script; allowed in every player state (the script is positioned on
    // the next play, seek or device change).
    void OpenPlayFile(const std::string& path);
    // Opens what a drop of these local files asks for (see PlanDrop).
    void OpenDropped(const std::vector<std::string>& paths);
    void ToggleMute();
    void ToggleRepeat();
    // The volume slider moved: the sound comes back at the slider's volume.
    void VolumeChanged();
    // The seek slider moved to `position` (0 to 100): the device stops, then the player seeks.
    void SeekToPosition(int position);
    // A seek by `deltaMs` from the present time (the arrow keys); nothing without a length.
    void SeekBy(int64_t deltaMs);
    // Fast forward or rewind held down, and let go.
    void HoldStart(bool forward);
    void HoldEnd(bool forward);
    void SelectTitle(int index);
    void SelectChapter(int index);
    // The disc's menu, from the menu bar.
    void ShowDiscMenu();
    // A step through the buttons of the disc's menu shown (the arrow keys and Enter).
    void NavigateMenu(MenuStep step);
    // Recording a play file while a video file plays (the R key and the menu): starts, or ends
    // and saves it beside the video under a free name, merged into the play file loaded before
    // (only the recorded stretch replaced), and loads it. Stop, the end of the media, a seek and
    // the window's close end a recording too.
    void ToggleRecording();
    // The pointer at `x` across a video `width` wide: while recording, the command it sets.
    void PointerOverVideo(double x, double width);
    [[nodiscard]] bool IsRecording() const { return recording_.has_value(); }
    // Moves the user's offset by `deltaMs` within its bounds; the new offset.
    int ChangeOffset(int deltaMs);
    // The system's serial devices changed.
    void DevicesChanged();
    // The window closes: the device stops, then playback.
    void Close();
    // An exception escaped a handler: the device stops first, then playback, and the user is
    // told.
    void StopAfterFailure();

    // A player event, on the user-interface thread.
    void OnPlayerEvent(PlayerEvent event);
    // One of the session's timers went off.
    void OnTimer(SessionTimer timer);

    // Opening, buffering or in error: a new video or DVD would not open now.
    [[nodiscard]] bool IsBusyOpening() const;
    [[nodiscard]] bool IsOpening() const { return opening_; }
    [[nodiscard]] bool IsRepeat() const { return repeat_; }
    [[nodiscard]] bool IsMuted() const { return muted_; }
    // The video file open now (UTF-8 path); empty for a DVD or when none is.
    [[nodiscard]] std::string MediaFile() const {
        return player_->GetMediaKind() == MediaKind::kByPath ? mediaLocation_ : std::string();
    }
    // Whether a disc shows one of its menus.
    [[nodiscard]] bool IsDiscMenuShown() const { return discPlace_ == DiscPlace::kMenu; }
    // Whether the synchronisation ticks run (from playing to paused, stopped or ended).
    [[nodiscard]] bool IsSyncTicking() const { return ticking_; }
    [[nodiscard]] MediaPlayer& Player() { return *player_; }
    [[nodiscard]] SyncDriver& Sync() const { return *sync_; }
    // The configured name that matched the dongle at start-up or at the last device change
    // the device thread has handled; empty when none was found.
    [[nodiscard]] const std::string& DeviceName() const { return deviceName_; }
    // Runs `work` with the device link on the device thread, after everything posted there
    // before, and waits for it.
    void RunOnDevice(const std::function<void(UsbDongle&)>& work);

private:
    static void EventCallback(PlayerEvent event, void* self) noexcept;
    void ShowOpeningTitle();
    void ShowMediaTitle();
    void ShowScriptHeat(int64_t lengthMs);
    // Follows the player to another title or menu: see the .cpp.
    void FollowTitle();
    void OnPlaybackError();
    void OnMediaEnded();
    void OnMediaStopped();
    void ApplyVolume();
    void Seek();
    void HoldStep(bool forward);
    void StartTicks();
    void StopTicks();
    void RefreshTimeDisplay();
    // Ends a recording, if one runs, and saves it.
    void EndRecording();

    platform::MessageBoxes& boxes_;
    OutputLog& log_;
    PlaybackView& view_;
    std::unique_ptr<MediaPlayer> player_;
    Logger* logger_ = nullptr;
    std::unique_ptr<UsbDongle> dongle_;
    std::unique_ptr<SyncDriver> sync_;
    // Declared last: it ends first, running the device work still queued for the two above.
    std::unique_ptr<DeviceLoop> loop_;

    bool muted_ = false;
    bool dvdWholeSecondClock_ = false;
    bool repeat_ = false;
    std::string mediaLocation_;  // UTF-8: a file path or a "dvd://" location
    std::string displayTitle_;   // UTF-8
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
    // player's time: paused, libvlc reports a seek late, and on a busy machine it read 0 for a
    // while, which sent fast forward back to the start.
    int64_t holdPosition_ = 0;
    int64_t seekTarget_ = 0;
    bool ticking_ = false;
    AuthoringSettings authoring_;
    std::optional<Recording> recording_;
    int64_t recordingTimeMs_ = 0;  // the video's time last seen while recording
    // Where on the disc the player was last placed, and its count of title changes then.
    DiscPlace discPlace_ = DiscPlace::kUnknown;
    uint64_t titleChanges_ = 0;
    std::string deviceName_;
};
