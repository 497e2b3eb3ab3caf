#include "sync/FileAdjuster.h"

#include <algorithm>

namespace {

// How far past the last report the clock may run when the player stops reporting.
constexpr int64_t kMaxLeadMs = 1000;
// A report this far behind the previous result is a real jump back, not report jitter.
constexpr int64_t kFollowBackMs = 1000;

}  // namespace

FileAdjuster::FileAdjuster(PlayerTime& player, const platform::MonotonicClock& clock)
    : player(player), clock(clock) {}

void FileAdjuster::SetTime(int64_t ms) {
    player.SetTime(ms);
    // A second seek before the player took the first keeps the position from before both.
    if (lastReported) seekedFrom = lastReported;
    lastReported.reset();
    holdsForward = false;
}

void FileAdjuster::Reset() {
    lastReported.reset();
    seekedFrom.reset();
    holdsForward = false;
}

int64_t FileAdjuster::GetTime() {
    const int64_t reported = player.GetTime();
    if (seekedFrom && reported != *seekedFrom) seekedFrom.reset();

    // At the start of the media libvlc reports 0 while it still fills its buffers, well
    // before the first picture: running on from there would put the clock ahead of the
    // picture. Extrapolation waits for the first time the player itself reports.
    if (player.GetState() != kStatePlaying || reported <= 0) {
        // Extrapolation starts afresh when playback resumes.
        lastReported.reset();
        lastResult = reported;
        return reported;
    }
    if (seekedFrom) return lastResult;

    const int64_t now = clock.NowMs();
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
