#pragma once

// Keeps the motion device in step with the player: owns the play script, reads the player's
// adjusted clock and state, and tells the device link what to send. The main window turns its
// synchronisation timer, the player's events, its seek commands and the system's device
// changes into these calls; all of them run on the user-interface thread. Owned by the main
// window, created once the device link is.
//
// Until the player has reported a length (media ready), play, pause, stop and ticks leave the
// device alone. A seek and the window's close always stop it.
//
// The script is read at the player's time plus the user's offset: a positive offset sends
// each line that many ms before its time, on every path (play, ticks, device changes).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "player/PlayerClock.h"
#include "sync/PlayScript.h"

class Logger;
class UsbDongle;

class SyncDriver {
public:
    // Receives, for the operation log, each command the driver sends on the player's behalf,
    // before it is sent.
    using NoteFn = std::function<void(const std::string& line)>;

    // `player`, `dongle` and `logger` are lent and must outlive the driver.
    SyncDriver(PlayerClock& player, UsbDongle& dongle, Logger* logger, NoteFn note);
    ~SyncDriver();
    SyncDriver(const SyncDriver&) = delete;
    SyncDriver& operator=(const SyncDriver&) = delete;

    // Replaces the script with the file's lines; the old script is gone even if this fails.
    // Allowed in every player state: the new script is positioned on the next play or device
    // change. True when the file could be read.
    bool LoadPlayFile(const std::string& path);
    [[nodiscard]] const PlayScript* Script() const { return script_.get(); }

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
    // One synchronisation step: a device change left for now, then the script's due line.
    void OnTick();
    // Milliseconds until the script's next line is due at the clock's present reading (0 or
    // less: due now); nothing when no line waits (no script, its end, media not ready).
    [[nodiscard]] std::optional<int64_t> NextLineDueInMs();
    // A seek is on its way: the device stops until the script catches up.
    void OnSeekStarted();
    // The window closes: the stop packet and the port closed, media ready or not.
    void OnClose();
    // The system's serial devices changed. Handled at once while the player is idle (nothing
    // loaded, paused, stopped or ended); while it is busy, on the next tick.
    void OnDevicesChanged();

private:
    // The player's adjusted time shifted by the offset: the time the script is read at.
    [[nodiscard]] int64_t ScriptTime();
    void HandleDeviceChange(int64_t t);
    void Reposition(int64_t t);

    PlayerClock& player_;
    UsbDongle& dongle_;
    Logger* logger_;
    NoteFn note_;
    std::unique_ptr<PlayScript> script_;
    bool mediaReady_ = false;
    bool devicesChanged_ = false;
    int offsetMs_ = 0;
};
