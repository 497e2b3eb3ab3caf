#include "player/ClockFit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

// A report this far above the highest of its segment is an edge; smaller rises are jitter
// (libvlc subtracts its buffering delay, which wavers by some 15 ms).
constexpr int64_t kEdgeStepMs = 50;
// Evidence this far from the fit, or a report this far below the highest, starts afresh.
constexpr int64_t kJumpMs = 1000;
// A second edge this far from the first puts the first aside.
constexpr int64_t kTrialToleranceMs = 100;
// The evidence kept: the last 8 s, 32 edges at most.
constexpr int64_t kWindowMs = 8000;
constexpr size_t kMaxEdges = 32;
// How fast the output follows the fit, and how far behind it may be before it jumps.
constexpr double kSlewRate = 0.05;
constexpr double kJumpAheadMs = 100;
// How far past the latest edge the estimate may run.
constexpr int64_t kMaxRunOnMs = 1000;

}  // namespace

void ClockFit::Restart() {
    edges_.clear();
    fitted_.reset();
    shown_.reset();
    firstOnTrial_ = false;
}

void ClockFit::Report(int64_t reported, int64_t seenAt) {
    const auto media =
        static_cast<int64_t>(std::llround(static_cast<double>(reported) * scale_.rate)) -
        scale_.leadMs;
    const Edge edge{seenAt, media - seenAt};
    if (edges_.empty()) {
        StartSegment(reported, edge);
        return;
    }
    if (reported < highest_ - kJumpMs) {
        StartSegment(reported, edge);
        return;
    }
    if (reported < highest_ + kEdgeStepMs) return;
    highest_ = reported;
    if (std::abs(edge.offset - *fitted_) > kJumpMs) {
        StartSegment(reported, edge);
        return;
    }
    if (firstOnTrial_) {
        firstOnTrial_ = false;
        if (std::abs(edge.offset - edges_.front().offset) > kTrialToleranceMs) {
            // The first was a stale reading: start again from this one.
            StartSegment(reported, edge);
            firstOnTrial_ = false;
            return;
        }
    }
    edges_.push_back(edge);
    while (edges_.size() > kMaxEdges || edges_.front().seenAt < seenAt - kWindowMs) {
        edges_.pop_front();
    }
    Refit();
}

void ClockFit::StartSegment(int64_t reported, const Edge& edge) {
    edges_.assign(1, edge);
    highest_ = reported;
    firstOnTrial_ = true;
    jump_ = true;
    Refit();
}

int64_t MiddleHalfMean(std::vector<int64_t> values) {
    std::sort(values.begin(), values.end());
    const size_t trim = values.size() / 4;
    int64_t sum = 0;
    for (size_t i = trim; i < values.size() - trim; ++i) sum += values[i];
    const auto kept = static_cast<int64_t>(values.size() - 2 * trim);
    return (sum >= 0 ? sum + kept / 2 : sum - kept / 2) / kept;
}

void ClockFit::Refit() {
    std::vector<int64_t> offsets;
    offsets.reserve(edges_.size());
    for (const Edge& edge : edges_) offsets.push_back(edge.offset);
    fitted_ = MiddleHalfMean(std::move(offsets));
}

std::optional<int64_t> ClockFit::TimeAt(int64_t now) {
    if (!fitted_) return std::nullopt;
    const double fitted = static_cast<double>(*fitted_);
    if (!shown_ || jump_) {
        shown_ = fitted;
    } else {
        const double behind = fitted - *shown_;
        const double step = kSlewRate * static_cast<double>(std::max<int64_t>(now - lastNow_, 0));
        if (behind > kJumpAheadMs) {
            shown_ = fitted;
        } else {
            *shown_ += std::clamp(behind, -step, step);
        }
    }
    const Edge& latest = edges_.back();
    int64_t result = now + static_cast<int64_t>(std::llround(*shown_));
    result = std::min(result, latest.seenAt + latest.offset + kMaxRunOnMs);
    // Within a segment the estimate never goes back.
    if (!jump_) result = std::max(result, lastOutput_);
    jump_ = false;
    lastNow_ = now;
    lastOutput_ = result;
    return result;
}
