#include "sync/DVDAdjuster.h"

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
    : player(player), clock(clock), baseTime(clock.Now()) {}

void DVDAdjuster::SetTime(int64_t ms) {
    seekPending = true;
    player.SetTime(static_cast<int64_t>(static_cast<double>(ms) * kSeekRate));
}

void DVDAdjuster::Reset() {
    baseTime = clock.Now();
    underTimes = 0;
    lastOutput = 0;
    seekPending = false;
}

int64_t DVDAdjuster::GetTime() {
    const int64_t t = player.GetTime();
    const auto scaled = static_cast<int64_t>(static_cast<double>(t) * kReadRate);
    const int64_t timeCodePeriod = scaled / kWholeSecond * kWholeSecond;
    const bool newPeriod = timeCodePeriod < 1 || timeCodePeriod != lastPeriod;
    if (newPeriod) {
        baseTime = clock.Now();
        underTimes = 0;
    }
    const int64_t result = seekPending ? timeCodePeriod : Modify(timeCodePeriod, newPeriod);
    lastPeriod = timeCodePeriod;
    seekPending = false;
    lastOutput = result;
    return result;
}

int64_t DVDAdjuster::Modify(int64_t timeCodePeriod, bool newPeriod) {
    const platform::LocalTime now = clock.Now();
    const int64_t elapsed = now.epochMilliseconds - baseTime.epochMilliseconds;
    const int64_t candidate = timeCodePeriod + elapsed;
    const bool tracing = platform::TraceEnabled();

    int64_t result = lastOutput;
    if (candidate >= lastOutput) {
        if (newPeriod) {
            underTimes = candidate - lastOutput;
            if (underTimes < kCatchUpThreshold) underTimes = 0;
            underTimePeriod = -1;
        }
        const int64_t period = elapsed / kCatchUpInterval * kCatchUpInterval;
        if (lastOutput > 0 && underTimes > 0 && period != underTimePeriod) {
            const int64_t step = std::min(underTimes, kCatchUpStep);
            if (tracing) {
                TraceFormat("this->underTimePeriod=%d, ", Low32(underTimePeriod));
                TraceFormat("period=%d, ", Low32(period));
            }
            underTimes -= step;
            underTimePeriod = period;
            if (tracing) {
                TraceFormat("underTimesPatch=%d, ", Low32(step));
                TraceFormat("underTimes=%d\n", Low32(underTimes));
            }
        }
        result = candidate - underTimes;
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
