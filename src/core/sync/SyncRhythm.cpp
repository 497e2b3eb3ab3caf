#include "sync/SyncRhythm.h"

#include <algorithm>

void SyncRhythm::Start(int64_t nowMs) {
    running_ = true;
    nextTickMs_ = nowMs + kTickMs;
    lineAtMs_.reset();
    skipNext_ = false;
}

void SyncRhythm::Stop() {
    running_ = false;
    lineAtMs_.reset();
    skipNext_ = false;
}

std::optional<int64_t> SyncRhythm::NextDueMs() const {
    if (!running_) return std::nullopt;
    return lineAtMs_ ? std::min(*lineAtMs_, nextTickMs_) : nextTickMs_;
}

bool SyncRhythm::TakeDue(int64_t nowMs) {
    if (!running_) return false;
    bool due = false;
    if (lineAtMs_ && nowMs >= *lineAtMs_) {
        lineAtMs_.reset();
        due = true;
    }
    if (nowMs >= nextTickMs_) {
        nextTickMs_ += kTickMs;
        if (nextTickMs_ <= nowMs) nextTickMs_ = nowMs + kTickMs;
        due = true;
    }
    if (due && skipNext_) {
        skipNext_ = false;
        return false;
    }
    return due;
}

void SyncRhythm::StepDone(int64_t beganMs, int64_t endedMs, std::optional<int64_t> nextLineInMs) {
    lineAtMs_.reset();
    if (!running_) return;
    if (endedMs - beganMs >= kOverrunMs) {
        skipNext_ = true;
        return;
    }
    if (nextLineInMs && *nextLineInMs > 0 && *nextLineInMs < kTickMs) {
        lineAtMs_ = endedMs + *nextLineInMs;
    }
}
