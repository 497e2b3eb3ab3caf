#include "sync/DeviceLoop.h"

#include <chrono>
#include <future>
#include <utility>

DeviceLoop::DeviceLoop(const platform::MonotonicClock& clock)
    : clock_(clock), inline_(false), thread_([this] { Loop(); }) {}

DeviceLoop::DeviceLoop(InlineTag) : clock_(platform::Steady()), inline_(true) {}

std::unique_ptr<DeviceLoop> DeviceLoop::Inline() {
    return std::unique_ptr<DeviceLoop>(new DeviceLoop(InlineTag{}));
}

DeviceLoop::~DeviceLoop() {
    if (inline_) return;
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void DeviceLoop::Post(Work work) {
    if (inline_) {
        work();
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void DeviceLoop::Run(const Work& work) {
    if (inline_) {
        work();
        return;
    }
    std::promise<void> done;
    Post([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

void DeviceLoop::SetStep(Step step, NextLineInMs nextLineInMs) {
    Run([&] {
        step_ = std::move(step);
        nextLineInMs_ = std::move(nextLineInMs);
    });
}

void DeviceLoop::StartTicks() {
    Post([this] { rhythm_.Start(clock_.NowMs()); });
}

void DeviceLoop::StopTicks() {
    Post([this] { rhythm_.Stop(); });
}

void DeviceLoop::Loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!queue_.empty()) {
            Work work = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            work();
            lock.lock();
            continue;
        }
        if (ending_) return;
        const int64_t now = clock_.NowMs();
        if (step_ && rhythm_.TakeDue(now)) {
            lock.unlock();
            step_();
            const int64_t ended = clock_.NowMs();
            rhythm_.StepDone(now, ended, nextLineInMs_());
            lock.lock();
            continue;
        }
        if (const auto due = rhythm_.NextDueMs()) {
            wake_.wait_for(lock, std::chrono::milliseconds(*due - now));
        } else {
            wake_.wait(lock);
        }
    }
}
