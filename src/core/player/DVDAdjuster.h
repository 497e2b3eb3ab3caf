#pragma once

// The whole-second time source for DVDs, owned by AdjustedPlayer while a disc plays when the
// ini asks for it ([SYNC] DVD_CLOCK=WHOLE_SECOND): play files made for DVDs may have been
// tuned against it. Otherwise DVDs follow the picture (FileAdjuster). libvlc's DVD time runs
// slow by 1/1200 and is only trusted to the whole second, so each reading scales it, keeps the
// whole second and runs on from there with the wall clock. When a new second starts ahead of
// that clock by 100 ms or more, the gap is made up at most 40 ms per 100 ms of wall time
// rather than at once; when the clock is ahead, it stands still. After a seek it reads the
// target, playing or paused, until libvlc reports a time near it (see PendingSeek), and runs
// on from the target within that second. Used under AdjustedPlayer's lock, from the
// user-interface and the device threads.

#include <cstdint>
#include <optional>

#include "platform/LocalClock.h"
#include "player/PendingSeek.h"
#include "player/PlayerClock.h"
#include "player/TimecodeAdjuster.h"

class DVDAdjuster : public TimecodeAdjuster {
public:
    explicit DVDAdjuster(PlayerTime& player,
                         const platform::LocalClock& clock = platform::SystemClock());

    // Seeks the player to ms in its own (slow) time; the next reading is ms.
    void SetTime(int64_t ms) override;
    [[nodiscard]] int64_t GetTime() override;
    void Reset() override;
    void NewTitle() override;

private:
    // The whole-second time code plus the wall time since that second began, less what is
    // still to be made up.
    [[nodiscard]] int64_t Modify(int64_t timeCodePeriod, bool newPeriod);
    // The first reading near a seek's target: the clock starts at the target.
    [[nodiscard]] int64_t StartAtTarget(int64_t timeCodePeriod);

    PlayerTime& player_;
    const platform::LocalClock& clock_;

    // The whole second of the previous reading; none before the first.
    std::optional<int64_t> lastPeriod_;
    // When the current whole second was first read.
    platform::LocalTime baseTime_;
    int64_t lastOutput_ = 0;
    // The lag still to be made up, and the 100 ms slice of the second it was last reduced in.
    int64_t underTimes_ = 0;
    int64_t underTimePeriod_ = -1;
    // The next reading follows a seek: near the target it starts the clock there; after a
    // seek the player did not take, it returns the whole second as it is.
    bool seekPending_ = false;
    PendingSeek seek_;
};
