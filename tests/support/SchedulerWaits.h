#pragma once

// How long some threads waited for a processor, sampled every few milliseconds on a thread of
// its own. A test that bounds how late a program did something allows for the time a busy
// machine kept the program (or the test, or the virtual dongle) from running around then:
// that is the scheduler's doing, not the program's. On an idle machine it is near nothing, and
// the bound is as tight as without it. Times are MonotonicMs.

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace testing_support {

class SchedulerWaits {
public:
    // Threads by their id (a process's id is its main thread's).
    explicit SchedulerWaits(std::vector<pid_t> threads);
    ~SchedulerWaits();
    SchedulerWaits(const SchedulerWaits&) = delete;
    SchedulerWaits& operator=(const SchedulerWaits&) = delete;

    // The milliseconds the threads together waited between `fromMs` and `toMs`, or somewhat
    // more: the samples taken just outside the stretch bound it.
    [[nodiscard]] double Between(double fromMs, double toMs);

private:
    struct Sample {
        double atMs;
        double waitedMs;  // summed over the threads
    };
    void Take();

    std::vector<pid_t> threads_;
    std::mutex mutex_;
    std::vector<Sample> samples_;
    std::atomic<bool> stop_ = false;
    std::thread sampler_;
};

}  // namespace testing_support
