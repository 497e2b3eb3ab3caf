// The seek bar's heat on random scripts (times anywhere in int64, now and then out of order),
// media lengths up to INT64_MAX and widths up to 4096 slices, against an exact reference in
// 128-bit integers: each slice's mean speed and where the direction changes fall.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <vector>

#include "sync/ScriptHeatmap.h"

namespace {

using Wide = __int128;

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
// The largest time in tenths whose milliseconds still fit in int64.
constexpr int64_t kLastExactTenths = kMax / 100;
constexpr int kMaxSlices = 4096;

[[noreturn]] void Fail(const char* what, long long where) {
    std::fprintf(stderr, "fuzz_heatmap: %s (%lld)\n", what, where);
    std::abort();
}

int64_t Time(FuzzedDataProvider& input, int64_t previous) {
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
        case 0:
            return input.ConsumeIntegral<int64_t>();
        case 1:
            return kLastExactTenths + input.ConsumeIntegralInRange<int64_t>(-2, 2);
        case 2:
            return kMax - input.ConsumeIntegralInRange<int64_t>(0, 2);
        case 3:
            return previous;
        default:
            // Mostly in order, a few tenths to many hours apart.
            const int64_t step = input.ConsumeBool() ? input.ConsumeIntegralInRange<int64_t>(0, 50)
                                                     : input.ConsumeIntegral<uint32_t>();
            return previous > kMax - step ? kMax : std::max<int64_t>(previous, 0) + step;
    }
}

int64_t Length(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 5)) {
        case 0:
            return input.ConsumeIntegral<int64_t>();
        case 1:
            return kMax - input.ConsumeIntegralInRange<int64_t>(0, 10);
        case 2:
            return input.ConsumeIntegralInRange<int64_t>(-1, 100);
        default:
            return input.ConsumeIntegralInRange<int64_t>(1, 100'000'000);
    }
}

struct Reference {
    std::vector<Wide> weighted;  // speed times ms times slices, per slice
    std::vector<int> changes;
};

// Slice i covers [i * L / n, (i + 1) * L / n): scaled by n, [i * L, (i + 1) * L), all whole.
Reference Expected(const std::vector<CSV_LINE>& lines, int64_t lengthMs, int slices) {
    const Wide length = lengthMs;
    const Wide n = slices;
    Reference r{std::vector<Wide>(static_cast<size_t>(slices)),
                std::vector<int>(static_cast<size_t>(slices))};
    // A line takes over at the latest start so far: an earlier-stamped line after a later one
    // replaces it at once.
    std::vector<Wide> starts;
    Wide latest = 0;
    for (const CSV_LINE& line : lines) {
        latest = std::max(latest, Wide{std::max<int64_t>(line.time, 0)} * 100);
        starts.push_back(latest);
    }
    std::optional<bool> movingReverse;
    for (size_t k = 0; k < lines.size() && starts[k] < length; ++k) {
        const Wide from = starts[k];
        const Wide to = k + 1 < lines.size() ? std::min(starts[k + 1], length) : length;
        const int speed = std::min(lines[k].command & 0x7F, 100);
        const bool reverse = (lines[k].command & 0x80) != 0;
        if (speed > 0) {
            if (movingReverse && *movingReverse != reverse) ++r.changes[from * n / length];
            movingReverse = reverse;
        }
        if (speed == 0 || to <= from) continue;
        for (Wide i = from * n / length; i < n && i * length < to * n; ++i) {
            const Wide overlap =
                std::min(to * n, (i + 1) * length) - std::max(from * n, i * length);
            r.weighted[static_cast<size_t>(i)] += speed * overlap;
        }
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int64_t lengthMs = Length(input);
    const int slices = input.ConsumeBool() ? input.ConsumeIntegralInRange<int>(-1, 16)
                                           : input.ConsumeIntegralInRange<int>(1, kMaxSlices);
    std::vector<CSV_LINE> lines;
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, 64);
    int64_t time = input.ConsumeIntegralInRange<int64_t>(0, 100);
    for (size_t i = 0; i < count && input.remaining_bytes() > 0; ++i) {
        time = Time(input, time);
        lines.push_back({time, input.ConsumeIntegral<uint8_t>()});
    }

    const std::vector<HeatSlice> heat = ScriptHeat(lines, lengthMs, slices);
    if (lines.empty() || lengthMs <= 0 || slices <= 0) {
        if (!heat.empty()) Fail("slices with nothing to show", static_cast<long long>(heat.size()));
        return 0;
    }
    if (heat.size() != static_cast<size_t>(slices))
        Fail("slice count", static_cast<long long>(heat.size()));

    const Reference reference = Expected(lines, lengthMs, slices);
    for (size_t i = 0; i < heat.size(); ++i) {
        const double speed = heat[i].speed;
        if (!(speed >= 0 && speed <= 100)) Fail("speed out of range", static_cast<long long>(i));
        const long double expected =
            static_cast<long double>(reference.weighted[i]) / static_cast<long double>(lengthMs);
        if (std::fabs(static_cast<long double>(speed) - expected) > 1e-6L) {
            std::fprintf(stderr, "slice %zu: %.12g, expected %.12Lg\n", i, speed, expected);
            Fail("mean speed differs", static_cast<long long>(i));
        }
        if (heat[i].directionChanges != reference.changes[i]) {
            std::fprintf(stderr, "slice %zu: %d changes, expected %d\n", i,
                         heat[i].directionChanges, reference.changes[i]);
            Fail("direction changes differ", static_cast<long long>(i));
        }
    }
    return 0;
}
