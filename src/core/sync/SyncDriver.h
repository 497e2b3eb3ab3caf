#pragma once

// Keeps the motion device in step with the player: owns the play script, reads the player's
// adjusted clock and state, and tells the device link what to send. The playback session
// turns the player's events, its seek commands and the system's device changes into these
// calls, on the user-interface thread; each writes its operation-log note there and then, and
// posts its device work to the device thread (the DeviceLoop), where the link is used and the
// synchronisation step runs, so the caller never waits for the device. Owned by the playback
// session, created once the device link and the loop are.
//
//   user-interface thread                 device thread
//   OnPlaying: note, post ──────────────> script to the clock's time, port opened
//   OnPaused / OnSeekStarted: post ─────> stop packet
//   OnStopped: note, post ──────────────> stop packet, port closed
//   OnClose: note, wait for ────────────> stop packet, port closed
//   OnMenuShown: post ──────────────────> stop packet if moving; no lines until a title
//   OnTitleStarted: post ───────────────> stop packet if moving, script to the title's time
//   LoadPlayFile: read here, post ──────> the new script replaces the old
//                                         step (ticks): a device change left for now, the
//                                         script's due line
//
// Until the player has reported a length (media ready), play, pause, stop and ticks leave the
// device alone. A seek and the window's close always stop it. While a disc shows its menu, and
// from the moment the player goes to another title or menu until the session has said which it
// is, no line goes out: the player's clock then still counts in the place it left.
//
// The script is read at the player's time plus the user's offset: a positive offset sends
// each line that many ms before its time, on every path (play, ticks, device changes).

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "player/PlayerClock.h"
#include "sync/PlayScript.h"

class DeviceLoop;
class Logger;
class UsbDongle;

class SyncDriver {
public:
    // Receives, for the operation log, each command the driver sends on the player's behalf,
    // on the caller's thread before the command is posted.
    using NoteFn = std::function<void(const std::string& line)>;
    using ScriptLines = std::shared_ptr<const std::vector<CSV_LINE>>;

    // `player`, `dongle`, `logger` and `loop` are lent and must outlive the driver; `player`
    // and `logger` must take calls from the device thread. The driver gives the loop its step.
    SyncDriver(PlayerClock& player, UsbDongle& dongle, Logger* logger, NoteFn note,
               DeviceLoop& loop);
    ~SyncDriver();
    SyncDriver(const SyncDriver&) = delete;
    SyncDriver& operator=(const SyncDriver&) = delete;

    // Replaces the script with the file's lines; the old script is gone even if this fails.
    // The file is read on the caller's thread (its messages go to the logger from there).
    // Allowed in every player state: the new script is positioned on the next play or device
    // change. True when the file could be read.
    bool LoadPlayFile(const std::string& path);
    // The lines of the script loaded last, sorted by time; null before the first load.
    [[nodiscard]] ScriptLines Lines() const { return lines_; }

    // The player reported a length: from now on play, pause, stop and ticks reach the device.
    void OnMediaReady() { mediaReady_ = true; }
    [[nodiscard]] bool IsMediaReady() const { return mediaReady_; }

    // The user's offset in ms, kept within ±kMaxSyncOffsetMs; it applies from the next tick.
    void SetOffsetMs(int offsetMs);
    // Moves the offset by `deltaMs` (kept within the bounds) and returns the new offset. While
    // playing, the script goes to the new script time, so the next tick sends the line then in
    // force once and the script goes on from there; paused or stopped, the next play does it.
    int ChangeOffsetMs(int deltaMs);
    [[nodiscard]] int OffsetMs() const { return offsetMs_; }

    // The player started or resumed: the script goes to the current position and the port
    // is (re)opened.
    void OnPlaying();
    // The player paused: the stop packet.
    void OnPaused();
    // The media stopped, ended or was replaced: the stop packet and the port closed.
    void OnStopped();
    // A seek is on its way: the device stops until the script catches up.
    void OnSeekStarted();
    // The window closes: the stop packet and the port closed, media ready or not. Waits until
    // they are (bounded by the link's write and drain bounds).
    void OnClose();
    // The disc went to one of its menus; `titleChanges` is the player's count of title changes
    // (PlayerClock::TitleChanges) the session saw then. No line goes out while it shows.
    void OnMenuShown(uint64_t titleChanges);
    // A title started (a disc's, or a file's clock started over): the script runs from the
    // title's time.
    void OnTitleStarted(uint64_t titleChanges);
    // While a play file is recorded, the device follows the recorder's command live rather than
    // the script: `command` from now on (sent at once, the latest of several given quickly),
    // none to give the device back to the script.
    void SetLiveCommand(std::optional<uint8_t> command);
    // The system's serial devices changed. Handled at once while the player is idle (nothing
    // loaded, paused, stopped or ended); while it is busy, on the next tick.
    void OnDevicesChanged();
    // The synchronisation ticks (the loop's steps) run from now on, or no longer.
    void StartTicks();
    void StopTicks();

    // On the device thread: one synchronisation step (a device change left for now, then the
    // script's due line), and the ms until the script's next line is due at the clock's
    // present reading (0 or less: due now; nothing when no line waits: no script, its end,
    // media not ready).
    void OnTick();
    [[nodiscard]] std::optional<int64_t> NextLineDueInMs();
    // The script the device thread walks. Device thread only.
    [[nodiscard]] const PlayScript* Script() const { return script_.get(); }

private:
    // The player's adjusted time shifted by the offset: the time the script is read at.
    [[nodiscard]] int64_t ScriptTime();
    // Whether the script's lines may go out now: media ready, no menu, and no change of title
    // the session has not placed yet. Device thread.
    [[nodiscard]] bool LinesMayGo() const;
    // The stop packet, when the last packet set the device moving. Device thread.
    void StopIfMoving();
    // Sends the live command wanted now, unless it is the one sent last. Device thread.
    void SendLive();
    void HandleDeviceChange(int64_t t);
    void Reposition(int64_t t);

    PlayerClock& player_;
    UsbDongle& dongle_;
    Logger* logger_;
    NoteFn note_;
    DeviceLoop& loop_;
    ScriptLines lines_;                   // user-interface thread
    std::unique_ptr<PlayScript> script_;  // device thread
    std::atomic<bool> mediaReady_ = false;
    bool devicesChanged_ = false;  // device thread
    // Device thread: whether a disc's menu shows, and the player's count of title changes the
    // session has said where they went.
    bool menuShown_ = false;
    uint64_t titleChanges_ = 0;
    // The live command wanted (-1: none, the script drives the device), and the one sent last
    // (device thread; -1 when the device has been stopped or given back since).
    std::atomic<int> liveWanted_ = -1;
    int liveSent_ = -1;
    std::atomic<int> offsetMs_ = 0;
};
