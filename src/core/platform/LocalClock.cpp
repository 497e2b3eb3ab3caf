#include "platform/LocalClock.h"

#include <sys/time.h>

#include <ctime>

namespace platform {

LocalTime SystemLocalClock::Now() const {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm parts{};
    ::localtime_r(&now.tv_sec, &parts);
    return LocalTime{parts.tm_year + 1900,
                     parts.tm_mon + 1,
                     parts.tm_mday,
                     parts.tm_hour,
                     parts.tm_min,
                     parts.tm_sec,
                     static_cast<int>(now.tv_usec / 1000),
                     static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000};
}

const LocalClock& SystemClock() {
    static const SystemLocalClock clock;
    return clock;
}

}  // namespace platform
