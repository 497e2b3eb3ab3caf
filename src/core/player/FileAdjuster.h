#pragma once

// The time source for video files, owned by AdjustedPlayer while a file plays. libvlc reports
// a file's position only every 250 to 500 ms and behind the picture, so the raw value would
// drive the device up to half a second late and in jumps. While playing, this adjuster runs
// the last reported position on with the monotonic clock, at most one second past it, and
// never lets the result go back except for a seek, a new start or a report more than a second
// back. At the start, before libvlc reports anything, it runs on from 0 from when the first
// picture is due. After a seek it reads the target, playing or paused, until libvlc reports
// a time near it (see PendingSeek), and runs on from there. Otherwise, paused or stopped, it
// reads the player's position unchanged. Used under AdjustedPlayer's lock, from the
// user-interface and the device threads.

#include <cstdint>
#include <optional>

#include "platform/MonotonicClock.h"
#include "player/PendingSeek.h"
#include "player/PlayerClock.h"
#include "player/TimecodeAdjuster.h"

class FileAdjuster : public TimecodeAdjuster {
public:
    explicit FileAdjuster(PlayerTime& player,
                          const platform::MonotonicClock& clock = platform::Steady());

    // Seeks the player to exactly ms; the next reading is ms.
    void SetTime(int64_t ms) override;
    [[nodiscard]] int64_t GetTime() override;
    void Reset() override;

private:
    // The clock while playing: `reported` run on since it was first seen, held forward.
    [[nodiscard]] int64_t RunOn(int64_t reported, int64_t now);

    PlayerTime& player_;
    const platform::MonotonicClock& clock_;

    // The position the player last reported while playing, and when it was first seen.
    std::optional<int64_t> lastReported_;
    int64_t firstSeenAt_ = 0;
    // The previous result; it bounds the next one from below while holdsForward is set.
    int64_t lastResult_ = 0;
    bool holdsForward_ = false;
    PendingSeek seek_;
    // Playing from the start, before libvlc's first report: when that was first seen.
    std::optional<int64_t> startSeenAt_;
};
