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
    : player(player), clock(clock) {}

void FileAdjuster::SetTime(int64_t ms) {
    const int64_t from = player.GetTime();
    player.SetTime(ms);
    seek.Start(ms, ms, from, player.GetState());
    lastReported.reset();
    startSeenAt.reset();
    // While the seek waits the clock reads the target, and afterwards holds forward from it.
    lastResult = ms;
    holdsForward = seek.Waiting();
}

void FileAdjuster::Reset() {
    lastReported.reset();
    startSeenAt.reset();
    seek.Restart(player.GetState());
    holdsForward = seek.Waiting();
}

int64_t FileAdjuster::GetTime() {
    const int64_t reported = player.GetTime();
    const PlayerState state = player.GetState();
    const int64_t now = clock.NowMs();
    if (seek.Classify(reported, reported, state, now) == PendingSeek::Report::kStale) {
        // Not taken yet: stand at the target, or run on from libvlc's answer while playing.
        if (state != PlayerState::kPlaying) lastReported.reset();
        return lastReported ? RunOn(*lastReported, now) : lastResult;
    }

    if (state != PlayerState::kPlaying || reported < 0) {
        // Extrapolation starts afresh when playback resumes.
        lastReported.reset();
        startSeenAt.reset();
        lastResult = reported;
        return reported;
    }
    if (reported == 0) {
        // Playing from the start, before libvlc's first report: waiting for that report would
        // stand the device still for up to half a second and then skip the lines it jumps
        // over, so the clock runs on from the moment the picture is due.
        if (!startSeenAt) startSeenAt = now;
        lastReported.reset();
        lastResult = std::clamp(now - *startSeenAt - kStartDelayMs, int64_t{0}, kStartRunOnMs);
        holdsForward = true;
        return lastResult;
    }
    startSeenAt.reset();
    return RunOn(reported, now);
}

int64_t FileAdjuster::RunOn(int64_t reported, int64_t now) {
    if (!lastReported || reported != *lastReported) {
        lastReported = reported;
        firstSeenAt = now;
    }
    int64_t result = reported + std::min(now - firstSeenAt, kMaxLeadMs);
    if (holdsForward && result < lastResult && reported >= lastResult - kFollowBackMs) {
        result = lastResult;
    }
    lastResult = result;
    holdsForward = true;
    return result;
}
