#include "player/FileAdjuster.h"

#include <algorithm>
#include <cmath>

namespace {

// A report this far behind the previous result is a real jump back, not report jitter.
constexpr int64_t kFollowBackMs = 1000;
// How far the clock runs on from a seek's target before the stream's reports say more.
constexpr int64_t kMaxAnswerRunOnMs = 1000;
// At the start of the media libvlc reports 0 for 300 to 500 ms, though its first picture
// shows 60 to 150 ms after playback starts (measured with libvlc 3.0 on a fresh start and on
// a restart at the end). The clock starts from 0 after this delay...
constexpr int64_t kStartDelayMs = 120;
// ...and runs on without a report at most this far, in case libvlc is still buffering.
constexpr int64_t kStartRunOnMs = 500;

}  // namespace

FileAdjuster::FileAdjuster(PlayerTime& player, const platform::MonotonicClock& clock,
                           ClockScale scale, bool startRunOn)
    : player_(player), clock_(clock), startRunOn_(startRunOn), fit_(scale) {}

void FileAdjuster::SetTime(int64_t ms) {
    const int64_t from = player_.GetTime();
    const auto sent =
        static_cast<int64_t>(std::llround(static_cast<double>(ms) / fit_.GetScale().rate));
    player_.SetTime(sent);
    seek_.Start(ms, sent, from, player_.GetState());
    RestartFit(clock_.NowMs());
    answeredAt_.reset();
    startSeenAt_.reset();
    // While the seek waits the clock reads the target, and afterwards holds forward from it.
    lastResult_ = ms;
    holdsForward_ = seek_.Waiting();
}

void FileAdjuster::Reset() {
    RestartFit(clock_.NowMs());
    answeredAt_.reset();
    startSeenAt_.reset();
    seek_.Restart(player_.GetState());
    holdsForward_ = seek_.Waiting();
}

void FileAdjuster::NewTitle() {
    seek_ = PendingSeek();
    Reset();
    lastResult_ = 0;
}

void FileAdjuster::RestartFit(int64_t now) {
    fit_.Restart();
    fitSince_ = now;
}

int64_t FileAdjuster::SeenAt(int64_t reported, int64_t now) const {
    const std::optional<int64_t> announced = player_.ReportSeenAt(reported);
    return announced && *announced >= fitSince_ && *announced <= now ? *announced : now;
}

int64_t FileAdjuster::GetTime() {
    const int64_t reported = player_.GetTime();
    const PlayerState state = player_.GetState();
    const int64_t now = clock_.NowMs();
    const auto scaled =
        static_cast<int64_t>(std::llround(static_cast<double>(reported) * fit_.GetScale().rate));
    const PendingSeek::Report report = seek_.Classify(reported, scaled, state, now);
    if (report == PendingSeek::Report::kAnswer && state == PlayerState::kPlaying && !answeredAt_) {
        answeredAt_ = SeenAt(reported, now);
    }
    if (report == PendingSeek::Report::kStale || report == PendingSeek::Report::kAnswer) {
        // Not taken yet: stand at the target, or run on from libvlc's answer while playing.
        if (state != PlayerState::kPlaying) answeredAt_.reset();
        if (answeredAt_) {
            lastResult_ = std::max(
                lastResult_, seek_.Target() + std::min(now - *answeredAt_, kMaxAnswerRunOnMs));
        }
        return lastResult_;
    }

    if (state != PlayerState::kPlaying || reported < 0) {
        // The estimate starts afresh when playback resumes.
        RestartFit(now);
        answeredAt_.reset();
        startSeenAt_.reset();
        lastResult_ = scaled;
        return lastResult_;
    }
    if (reported == 0) {
        // Playing from the start, before libvlc's first report: waiting for that report would
        // stand the device still for up to half a second and then skip the lines it jumps
        // over, so the clock runs on from the moment the picture is due.
        if (!startSeenAt_) startSeenAt_ = now;
        const int64_t limit = startRunOn_ ? kStartRunOnMs : 0;
        lastResult_ = std::clamp(now - *startSeenAt_ - kStartDelayMs, int64_t{0}, limit);
        holdsForward_ = true;
        return lastResult_;
    }
    startSeenAt_.reset();
    return RunOn(reported, scaled, now);
}

int64_t FileAdjuster::RunOn(int64_t reported, int64_t scaled, int64_t now) {
    fit_.Report(reported, SeenAt(reported, now));
    int64_t result = fit_.TimeAt(now).value_or(lastResult_);
    if (holdsForward_ && result < lastResult_ && scaled >= lastResult_ - kFollowBackMs) {
        result = lastResult_;
    }
    answeredAt_.reset();
    lastResult_ = result;
    holdsForward_ = true;
    return result;
}
