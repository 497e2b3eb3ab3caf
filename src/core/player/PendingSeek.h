#pragma once

// A seek the player has not taken yet, as both adjusters watch it. libvlc answers a seek at
// once by reporting the time it was given, but until its input has moved it may report the
// old position again (or 0 when the seek came as playback started), and while paused or
// opening it reports nothing new. The adjusters read the target until a report lands near it,
// so that neither the slider nor the device goes back to where the seek came from.
//
//   report while playing                          | Classify   | the adjuster
//   ----------------------------------------------|------------|---------------------------
//   the time sent to the player (libvlc's answer)  | kAnswer    | runs on from the target
//   within kLandingToleranceMs of the target,      | kLanded    | runs on; the wait is over
//     not 0 and not the position before the seek  |            |
//   anything else, or any report while paused      | kStale     | stands at the target
//   the first after kWaitLimitMs of playing        | kGaveUp    | follows the player again
//   (no seek waiting)                              | kNone      | reads as usual

#include <cstdint>
#include <optional>

#include "player/PlayerClock.h"

class PendingSeek {
public:
    enum class Report { kNone, kStale, kAnswer, kLanded, kGaveUp };

    // libvlc lands a seek on the frame asked for and reports it within half a second of
    // playing; a report behind the clock by at most this much is jitter the adjusters hold
    // the clock over, so a landed report never takes the clock back below the target.
    static constexpr int64_t kLandingToleranceMs = 1000;
    // Playing this long without a report near the target, the seek went elsewhere (a source
    // that cannot seek, a target past the end): the clock follows the player again. Measured
    // on a local file, libvlc's first report after a seek comes 300 to 600 ms into playing.
    static constexpr int64_t kWaitLimitMs = 3000;

    // Waits for a seek to `target` (the adjuster's time), sent to the player as `sent` (its
    // own time) while it reported `from`. A player with nothing opened ignores the seek.
    void Start(int64_t target, int64_t sent, int64_t from, PlayerState state);

    // Playback (re)started: a seek made while paused outlives the resume, any other ends.
    void Restart(PlayerState state);

    [[nodiscard]] bool Waiting() const { return waiting_; }
    // The last seek's target, also once it has landed.
    [[nodiscard]] int64_t Target() const { return seekTarget_; }

    // One report: `raw` as the player gave it, `adjusted` in the adjuster's time. Ends the
    // wait when the report lands, when the player has closed its media, or after
    // kWaitLimitMs of playing.
    [[nodiscard]] Report Classify(int64_t raw, int64_t adjusted, PlayerState state, int64_t nowMs);

private:
    int64_t seekTarget_ = 0;
    int64_t sentTime_ = 0;
    int64_t seekedFrom_ = -1;
    bool waiting_ = false;
    // When the player was first seen playing since the seek or since it last stood.
    std::optional<int64_t> playingSince_;
};
