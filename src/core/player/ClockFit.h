#pragma once

// The picture's time, estimated from when libvlc's reported time changes. libvlc reports a
// position a few times a second, and what it reports is the time of the data its demuxer has
// just read rather than of the picture: ahead of the picture by the stream's mux lead (the
// presentation times run ahead of the clock references by up to a second in MPEG streams), in
// steps (a DVD's nav packs come every 0.6 s) and with jitter. The picture itself runs at the
// speed of the monotonic clock. So each rise of the report (an edge) is evidence of where the
// picture stands at that moment, once scaled to media time and less the lead; the estimate is
// the monotonic clock plus the trimmed mean of that evidence over the last few seconds.
//
// The estimate slews toward new evidence at 5 % of the elapsed time; it jumps forward only
// when it is behind by more than 100 ms, and starts afresh (a jump either way) when a report
// jumps by more than a second, as after a chapter change or where a stream's time is cut. It
// never runs more than a second past the latest edge, in case the player stalls. The first
// edge after a start or a jump is dropped when the second disagrees with it: a report that
// comes as the stream changes holds a stale buffering delay (see ClockFitTest).
//
// Not thread-safe; the adjusters use it under AdjustedPlayer's lock.

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

// How reports become media time: media = reported * rate - leadMs.
struct ClockScale {
    double rate = 1.0;
    int64_t leadMs = 0;
};

// The mean of the middle half of `values` (not empty), rounded: a quarter off each end, so
// that the odd value does not count.
[[nodiscard]] int64_t MiddleHalfMean(std::vector<int64_t> values);

class ClockFit {
public:
    explicit ClockFit(ClockScale scale = {}) : scale_(scale) {}

    // Forgets the evidence: after a seek, a pause, a stop or a new start.
    void Restart();
    // The player reported `reported` ms, first seen at monotonic time `seenAt`. Reports that
    // do not rise by a step (repeats and jitter) are not evidence.
    void Report(int64_t reported, int64_t seenAt);
    // The picture's time at monotonic time `now`; none before the first edge.
    [[nodiscard]] std::optional<int64_t> TimeAt(int64_t now);

    [[nodiscard]] const ClockScale& GetScale() const { return scale_; }

private:
    struct Edge {
        int64_t seenAt;
        int64_t offset;  // media time minus monotonic time
    };

    void StartSegment(int64_t reported, const Edge& edge);
    void Refit();

    ClockScale scale_;
    // The edges of the current segment, oldest first, and the highest report in it.
    std::deque<Edge> edges_;
    int64_t highest_ = 0;
    // The segment's first edge is still on trial (see the header).
    bool firstOnTrial_ = false;
    // The fitted offset, and the one the output follows; none before the first edge.
    std::optional<int64_t> fitted_;
    std::optional<double> shown_;
    bool jump_ = false;
    int64_t lastNow_ = 0;
    int64_t lastOutput_ = 0;
};
