#include "player/PendingSeek.h"

void PendingSeek::Start(int64_t target, int64_t sent, int64_t from, PlayerState state) {
    if (state != PlayerState::kOpening && state != PlayerState::kBuffering &&
        state != PlayerState::kPlaying && state != PlayerState::kPaused) {
        waiting_ = false;
        return;
    }
    // A second seek before the first landed keeps the position from before both.
    if (!waiting_) seekedFrom_ = from;
    seekTarget_ = target;
    sentTime_ = sent;
    waiting_ = true;
    playingSince_.reset();
}

void PendingSeek::Restart(PlayerState state) {
    waiting_ = waiting_ && (state == PlayerState::kPaused || state == PlayerState::kPlaying);
    playingSince_.reset();
}

PendingSeek::Report PendingSeek::Classify(int64_t raw, int64_t adjusted, PlayerState state,
                                          int64_t nowMs) {
    if (!waiting_) return Report::kNone;
    if (state == PlayerState::kOpening || state == PlayerState::kBuffering ||
        state == PlayerState::kPaused) {
        playingSince_.reset();
        return Report::kStale;
    }
    if (state != PlayerState::kPlaying) {
        waiting_ = false;
        return Report::kNone;
    }
    if (!playingSince_) playingSince_ = nowMs;
    if (nowMs - *playingSince_ >= kWaitLimitMs) {
        waiting_ = false;
        return Report::kGaveUp;
    }
    if (raw == sentTime_) return Report::kAnswer;
    const int64_t distance =
        adjusted > seekTarget_ ? adjusted - seekTarget_ : seekTarget_ - adjusted;
    if (raw <= 0 || raw == seekedFrom_ || distance > kLandingToleranceMs) return Report::kStale;
    waiting_ = false;
    return Report::kLanded;
}
