#pragma once

// The time source for video files, owned by AdjustedPlayer while a file plays, and for DVDs
// unless the ini asks for the whole-second clock (see DVDAdjuster). libvlc reports a position
// only every 250 to 600 ms, and ahead of the picture by the stream's mux lead (see ClockFit
// and StreamTiming). While playing, this adjuster reads the picture's time as ClockFit
// estimates it from the reports, never letting the result go back except for a seek, a new
// start or a report more than a second back. At the start, before libvlc reports anything, it
// runs on from 0 from when the first picture is due. After a seek it reads the target,
// playing or paused, until libvlc reports a time near it (see PendingSeek), running on from
// the target once libvlc has answered, then reads the estimate from there on, held forward.
// Otherwise, paused or stopped, it reads the player's position unchanged. Used under
// AdjustedPlayer's lock, from the user-interface and the device threads.

#include <cstdint>
#include <optional>

#include "platform/MonotonicClock.h"
#include "player/ClockFit.h"
#include "player/PendingSeek.h"
#include "player/PlayerClock.h"
#include "player/TimecodeAdjuster.h"

class FileAdjuster : public TimecodeAdjuster {
public:
    // `scale` turns the player's reports into media time; `startRunOn` lets the clock run
    // from 0 before the first report (libvlc's files show their first picture well before
    // it; DVDs after it).
    explicit FileAdjuster(PlayerTime& player,
                          const platform::MonotonicClock& clock = platform::Steady(),
                          ClockScale scale = {}, bool startRunOn = true);

    // Seeks the player to exactly ms; the next reading is ms.
    void SetTime(int64_t ms) override;
    [[nodiscard]] int64_t GetTime() override;
    void Reset() override;
    void NewTitle() override;

    // How the player's reports become media time here; a new scale starts the estimate afresh.
    [[nodiscard]] const ClockScale& Scale() const { return fit_.GetScale(); }
    void SetScale(ClockScale scale) { fit_ = ClockFit(scale); }

private:
    // The clock while playing: the fit fed `reported` (`scaled` in media time), held forward.
    [[nodiscard]] int64_t RunOn(int64_t reported, int64_t scaled, int64_t now);
    // When the player first reported `reported`: as it announced it, or now when it announced
    // it before the estimate last started afresh (a value held over a pause is new evidence
    // only from the resume).
    [[nodiscard]] int64_t SeenAt(int64_t reported, int64_t now) const;
    // Forgets the evidence from `now` on.
    void RestartFit(int64_t now);

    PlayerTime& player_;
    const platform::MonotonicClock& clock_;
    const bool startRunOn_;
    ClockFit fit_;
    int64_t fitSince_ = 0;

    // The previous result; it bounds the next one from below while holdsForward is set.
    int64_t lastResult_ = 0;
    bool holdsForward_ = false;
    PendingSeek seek_;
    // When libvlc answered the last seek: the clock runs on from the target until the seek
    // lands.
    std::optional<int64_t> answeredAt_;
    // Playing from the start, before libvlc's first report: when that was first seen.
    std::optional<int64_t> startSeenAt_;
};
