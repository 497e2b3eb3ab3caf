#include "player/FileAdjuster.h"

#include <algorithm>

namespace {

// How far past the last report the clock may run when the player stops reporting.
constexpr int64_t kMaxLeadMs = 1000;
// A report this far behind the previous result is a real jump back, not report jitter.
constexpr int64_t kFollowBackMs = 1000;
// At the start of the media libvlc reports 0 for 300 to 500 ms, though its first picture
// shows 60 to 150 ms after playback starts (measured with libvlc 3.0 on a fresh start and on
// a restart at the end). The clock starts from 0 after this delay...
constexpr int64_t kStartDelayMs = 120;
// ...and runs on without a report at most this far, in case libvlc is still buffering.
constexpr int64_t kStartRunOnMs = 500;

}  // namespace

FileAdjuster::FileAdjuster(PlayerTime& player, const platform::MonotonicClock& clock)
    : player_(player), clock_(clock) {}

void FileAdjuster::SetTime(int64_t ms) {
    const int64_t from = player_.GetTime();
    player_.SetTime(ms);
    seek_.Start(ms, ms, from, player_.GetState());
    lastReported_.reset();
    startSeenAt_.reset();
    // While the seek waits the clock reads the target, and afterwards holds forward from it.
    lastResult_ = ms;
    holdsForward_ = seek_.Waiting();
}

void FileAdjuster::Reset() {
    lastReported_.reset();
    startSeenAt_.reset();
    seek_.Restart(player_.GetState());
    holdsForward_ = seek_.Waiting();
}

int64_t FileAdjuster::GetTime() {
    const int64_t reported = player_.GetTime();
    const PlayerState state = player_.GetState();
    const int64_t now = clock_.NowMs();
    if (seek_.Classify(reported, reported, state, now) == PendingSeek::Report::kStale) {
        // Not taken yet: stand at the target, or run on from libvlc's answer while playing.
        if (state != PlayerState::kPlaying) lastReported_.reset();
        return lastReported_ ? RunOn(*lastReported_, now) : lastResult_;
    }

    if (state != PlayerState::kPlaying || reported < 0) {
        // Extrapolation starts afresh when playback resumes.
        lastReported_.reset();
        startSeenAt_.reset();
        lastResult_ = reported;
        return reported;
    }
    if (reported == 0) {
        // Playing from the start, before libvlc's first report: waiting for that report would
        // stand the device still for up to half a second and then skip the lines it jumps
        // over, so the clock runs on from the moment the picture is due.
        if (!startSeenAt_) startSeenAt_ = now;
        lastReported_.reset();
        lastResult_ = std::clamp(now - *startSeenAt_ - kStartDelayMs, int64_t{0}, kStartRunOnMs);
        holdsForward_ = true;
        return lastResult_;
    }
    startSeenAt_.reset();
    return RunOn(reported, now);
}

int64_t FileAdjuster::RunOn(int64_t reported, int64_t now) {
    if (!lastReported_ || reported != *lastReported_) {
        lastReported_ = reported;
        firstSeenAt_ = now;
    }
    int64_t result = reported + std::min(now - firstSeenAt_, kMaxLeadMs);
    if (holdsForward_ && result < lastResult_ && reported >= lastResult_ - kFollowBackMs) {
        result = lastResult_;
    }
    lastResult_ = result;
    holdsForward_ = true;
    return result;
}
