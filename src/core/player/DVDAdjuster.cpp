#include "player/DVDAdjuster.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/Trace.h"

namespace {

// libvlc's DVD time runs slow by 1/1200: readings are scaled up, seeks scaled down.
constexpr double kReadRate = 1.0008333333333332;
constexpr double kSeekRate = 0.9991666666666666;
constexpr int64_t kWholeSecond = 1000;
// A lag below this at a new second is taken at once.
constexpr int64_t kCatchUpThreshold = 100;
// Larger lags are made up at most kCatchUpStep per kCatchUpInterval of wall time.
constexpr int64_t kCatchUpStep = 40;
constexpr int64_t kCatchUpInterval = 100;

// Trace values are printed through their low 32 bits.
int Low32(int64_t value) { return static_cast<int32_t>(value); }

[[gnu::format(printf, 1, 2)]] void TraceFormat(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n > 0) platform::Trace({text, std::min(static_cast<size_t>(n), sizeof text - 1)});
}

}  // namespace

DVDAdjuster::DVDAdjuster(PlayerTime& player, const platform::LocalClock& clock)
    : player_(player), clock_(clock), baseTime_(clock.Now()) {}

void DVDAdjuster::SetTime(int64_t ms) {
    const int64_t from = player_.GetTime();
    const auto sent = static_cast<int64_t>(static_cast<double>(ms) * kSeekRate);
    player_.SetTime(sent);
    seek_.Start(ms, sent, from, player_.GetState());
    seekPending_ = true;
    if (seek_.Waiting()) lastOutput_ = ms;
}

void DVDAdjuster::Reset() {
    baseTime_ = clock_.Now();
    underTimes_ = 0;
    lastOutput_ = 0;
    seek_.Restart(player_.GetState());
    seekPending_ = seekPending_ && seek_.Waiting();
    if (seek_.Waiting()) lastOutput_ = seek_.Target();
}

void DVDAdjuster::NewTitle() {
    seek_ = PendingSeek();
    seekPending_ = false;
    lastPeriod_.reset();
    Reset();
}

int64_t DVDAdjuster::GetTime() {
    const int64_t t = player_.GetTime();
    const auto scaled = static_cast<int64_t>(static_cast<double>(t) * kReadRate);
    const PendingSeek::Report report =
        seek_.Classify(t, scaled, player_.GetState(), clock_.Now().epochMilliseconds);
    if (report == PendingSeek::Report::kStale) return lastOutput_;

    const int64_t timeCodePeriod = scaled / kWholeSecond * kWholeSecond;
    const bool newPeriod = timeCodePeriod < 1 || timeCodePeriod != lastPeriod_;
    if (newPeriod) {
        baseTime_ = clock_.Now();
        underTimes_ = 0;
    }
    const bool nearTarget =
        report == PendingSeek::Report::kAnswer || report == PendingSeek::Report::kLanded;
    int64_t result = 0;
    if (seekPending_ && nearTarget) {
        result = StartAtTarget(timeCodePeriod);
    } else if (seekPending_ || report == PendingSeek::Report::kGaveUp) {
        result = timeCodePeriod;
    } else {
        result = Modify(timeCodePeriod, newPeriod);
    }
    lastPeriod_ = timeCodePeriod;
    seekPending_ = false;
    lastOutput_ = result;
    return result;
}

// libvlc's DVD time is trusted only to the whole second, so the target is taken as the
// position within it; a second that starts past the target is made up to as at any new second.
int64_t DVDAdjuster::StartAtTarget(int64_t timeCodePeriod) {
    const int64_t target = seek_.Target();
    baseTime_ = clock_.Now();
    underTimes_ = 0;
    if (timeCodePeriod > target) return Modify(timeCodePeriod, true);
    baseTime_.epochMilliseconds -= target - timeCodePeriod;
    return target;
}

int64_t DVDAdjuster::Modify(int64_t timeCodePeriod, bool newPeriod) {
    const platform::LocalTime now = clock_.Now();
    const int64_t elapsed = now.epochMilliseconds - baseTime_.epochMilliseconds;
    const int64_t candidate = timeCodePeriod + elapsed;
    const bool tracing = platform::TraceEnabled();

    int64_t result = lastOutput_;
    if (candidate >= lastOutput_) {
        if (newPeriod) {
            underTimes_ = candidate - lastOutput_;
            if (underTimes_ < kCatchUpThreshold) underTimes_ = 0;
            underTimePeriod_ = -1;
        }
        const int64_t period = elapsed / kCatchUpInterval * kCatchUpInterval;
        if (lastOutput_ > 0 && underTimes_ > 0 && period != underTimePeriod_) {
            const int64_t step = std::min(underTimes_, kCatchUpStep);
            if (tracing) {
                TraceFormat("this->underTimePeriod=%d, ", Low32(underTimePeriod_));
                TraceFormat("period=%d, ", Low32(period));
            }
            underTimes_ -= step;
            underTimePeriod_ = period;
            if (tracing) {
                TraceFormat("underTimesPatch=%d, ", Low32(step));
                TraceFormat("underTimes=%d\n", Low32(underTimes_));
            }
        }
        result = candidate - underTimes_;
    }

    if (tracing) {
        TraceFormat("%d年%d月%d日 %02d時%02d分%02d.%03d秒 ", now.year, now.month, now.day, now.hour,
                    now.minute, now.second, now.millisecond);
        TraceFormat("timeCodePeriod=%d ", Low32(timeCodePeriod));
        TraceFormat("elapsed=%4d ", Low32(elapsed));
        TraceFormat("modifyTime=%d \n", Low32(result));
    }
    return result;
}
