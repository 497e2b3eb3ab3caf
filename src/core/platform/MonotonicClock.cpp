#include "platform/MonotonicClock.h"

#include <chrono>

namespace platform {

int64_t SteadyClock::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const MonotonicClock& Steady() {
    static const SteadyClock clock;
    return clock;
}

}  // namespace platform
