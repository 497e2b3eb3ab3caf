#include "player/PendingSeek.h"

void PendingSeek::Start(int64_t target, int64_t sent, int64_t from, PlayerState state) {
    if (state != PlayerState::kOpening && state != PlayerState::kBuffering &&
        state != PlayerState::kPlaying && state != PlayerState::kPaused) {
        waiting = false;
        return;
    }
    // A second seek before the first landed keeps the position from before both.
    if (!waiting) seekedFrom = from;
    seekTarget = target;
    sentTime = sent;
    waiting = true;
    playingSince.reset();
}

void PendingSeek::Restart(PlayerState state) {
    waiting = waiting && (state == PlayerState::kPaused || state == PlayerState::kPlaying);
    playingSince.reset();
}

PendingSeek::Report PendingSeek::Classify(int64_t raw, int64_t adjusted, PlayerState state,
                                          int64_t nowMs) {
    if (!waiting) return Report::kNone;
    if (state == PlayerState::kOpening || state == PlayerState::kBuffering ||
        state == PlayerState::kPaused) {
        playingSince.reset();
        return Report::kStale;
    }
    if (state != PlayerState::kPlaying) {
        waiting = false;
        return Report::kNone;
    }
    if (!playingSince) playingSince = nowMs;
    if (nowMs - *playingSince >= kWaitLimitMs) {
        waiting = false;
        return Report::kGaveUp;
    }
    if (raw == sentTime) return Report::kAnswer;
    const int64_t distance = adjusted > seekTarget ? adjusted - seekTarget : seekTarget - adjusted;
    if (raw <= 0 || raw == seekedFrom || distance > kLandingToleranceMs) return Report::kStale;
    waiting = false;
    return Report::kLanded;
}
