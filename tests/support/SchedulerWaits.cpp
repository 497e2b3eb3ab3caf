#include "support/SchedulerWaits.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "support/TestSupport.h"

namespace testing_support {

SchedulerWaits::SchedulerWaits(std::vector<pid_t> threads) : threads_(std::move(threads)) {
    Take();
    sampler_ = std::thread([this] {
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            Take();
        }
    });
}

SchedulerWaits::~SchedulerWaits() {
    stop_ = true;
    sampler_.join();
}

void SchedulerWaits::Take() {
    // The time is read first: the wait read after it is at least the wait at that time.
    const double at = MonotonicMs();
    double waited = 0;
    for (const pid_t thread : threads_) waited += SchedulerWaitMs(thread);
    std::lock_guard lock(mutex_);
    samples_.push_back({at, waited});
}

double SchedulerWaits::Between(double fromMs, double toMs) {
    // A stretch that ends after the last sample gets one of its own.
    Take();
    std::lock_guard lock(mutex_);
    // The last sample at or before the start, else the first.
    auto from = std::upper_bound(samples_.begin(), samples_.end(), fromMs,
                                 [](double t, const Sample& s) { return t < s.atMs; });
    if (from != samples_.begin()) --from;
    // The first sample at or after the end, else the last.
    auto to = std::lower_bound(samples_.begin(), samples_.end(), toMs,
                               [](const Sample& s, double t) { return s.atMs < t; });
    if (to == samples_.end()) --to;
    return std::max(0.0, to->waitedMs - from->waitedMs);
}

}  // namespace testing_support
