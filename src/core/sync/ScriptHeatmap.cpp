#include "sync/ScriptHeatmap.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <optional>

namespace {

constexpr uint8_t kDirectionBit = 0x80;
constexpr uint8_t kSpeedBits = 0x7F;
constexpr int kTopSpeed = 100;

// A line's start in ms. Play files may carry times far past any media: those whose ms do not
// fit in int64 saturate.
int64_t StartMs(const CSV_LINE& line) {
    constexpr int64_t kLargest = std::numeric_limits<int64_t>::max() / 100;
    if (line.time > kLargest) return std::numeric_limits<int64_t>::max();
    return std::max<int64_t>(line.time, 0) * 100;
}

// Slice arithmetic in ms; slice i covers [Start(i), Start(i + 1)), i * length / count on.
class Slicing {
public:
    Slicing(int64_t lengthMs, int slices)
        : lengthMs_(lengthMs),
          length_(static_cast<double>(lengthMs)),
          count_(static_cast<size_t>(slices)) {}

    [[nodiscard]] double Start(size_t i) const {
        return static_cast<double>(i) * length_ / static_cast<double>(count_);
    }
    [[nodiscard]] double Width() const { return length_ / static_cast<double>(count_); }
    // The slice holding time t, 0 <= t < length: floor(t * count / length), exactly (in
    // doubles a time on a slice's start may fall in the slice before).
    [[nodiscard]] size_t Of(int64_t t) const {
        return static_cast<size_t>(static_cast<__int128>(t) * static_cast<__int128>(count_) /
                                   lengthMs_);
    }
    [[nodiscard]] size_t Count() const { return count_; }

private:
    int64_t lengthMs_;
    double length_;
    size_t count_;
};

}  // namespace

std::vector<HeatSlice> ScriptHeat(const std::vector<CSV_LINE>& lines, int64_t lengthMs,
                                  int slices) {
    if (lines.empty() || lengthMs <= 0 || slices <= 0) return {};
    const Slicing slicing(lengthMs, slices);
    std::vector<HeatSlice> heat(slicing.Count());
    // Speed times ms, per slice; divided by the slice's width at the end.
    std::vector<double> weighted(slicing.Count(), 0.0);

    // Walks a line's span [from, to) across the slices it covers. Spans do not overlap and a
    // walk stops in the slice where its span ends, so all the walks together visit no more
    // slices than there are slices and lines.
    const auto spread = [&](int64_t from, int64_t to, int speed) {
        if (speed == 0 || to <= from) return;
        const auto begin = static_cast<double>(from);
        const auto end = static_cast<double>(to);
        for (size_t i = slicing.Of(from); i < slicing.Count(); ++i) {
            const double sliceEnd = slicing.Start(i + 1);
            const double overlap = std::min(end, sliceEnd) - std::max(begin, slicing.Start(i));
            if (overlap > 0) weighted[i] += speed * overlap;
            if (sliceEnd >= end) break;
        }
    };

    std::optional<bool> movingReverse;  // the direction of the last line that moved
    int64_t previousStart = 0;
    for (size_t k = 0; k < lines.size(); ++k) {
        // Out-of-order lines (not from PlayScript) are in force for no time.
        const int64_t start = std::max(StartMs(lines[k]), previousStart);
        if (start >= lengthMs) break;
        previousStart = start;
        const int64_t end =
            k + 1 < lines.size() ? std::clamp(StartMs(lines[k + 1]), start, lengthMs) : lengthMs;
        const int speed = std::min<int>(lines[k].command & kSpeedBits, kTopSpeed);
        const bool reverse = (lines[k].command & kDirectionBit) != 0;
        if (speed > 0) {
            if (movingReverse.has_value() && *movingReverse != reverse) {
                ++heat[slicing.Of(start)].directionChanges;
            }
            movingReverse = reverse;
        }
        spread(start, end, speed);
    }

    const double width = slicing.Width();
    for (size_t i = 0; i < heat.size(); ++i) {
        heat[i].speed = std::clamp(weighted[i] / width, 0.0, static_cast<double>(kTopSpeed));
    }
    return heat;
}
