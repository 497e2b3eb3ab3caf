// The seek bar's heat: each slice's time-weighted mean speed and its direction changes, for
// scripts that start late, run past the media or stop halfway.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sync/ScriptHeatmap.h"

namespace {

// A line at `tenths` of a second, as the play file gives it.
CSV_LINE Line(int64_t tenths, int direction, int speed) {
    return {tenths, static_cast<uint8_t>(direction * 128 + speed)};
}

std::vector<int> Changes(const std::vector<HeatSlice>& heat) {
    std::vector<int> changes;
    for (const HeatSlice& slice : heat) changes.push_back(slice.directionChanges);
    return changes;
}

void ExpectSpeeds(const std::vector<HeatSlice>& heat, const std::vector<double>& expected,
                  const char* name) {
    ASSERT_EQ(heat.size(), expected.size()) << name;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(heat[i].speed, expected[i], 1e-9) << name << ", slice " << i;
    }
}

TEST(ScriptHeat, MeanSpeedIsWeightedByTheTimeEachLineIsInForce) {
    struct Case {
        const char* name;
        std::vector<CSV_LINE> lines;
        int64_t lengthMs;
        int slices;
        std::vector<double> speeds;
    } cases[] = {
        // Slices of 250 ms. 0-100 nothing yet, 100-300 speed 40, 300-600 speed 80, then stopped.
        {"lines straddling slices",
         {Line(1, 0, 40), Line(3, 0, 80), Line(6, 0, 0)},
         1000,
         4,
         {40 * 150 / 250.0, (40 * 50 + 80 * 200) / 250.0, 80 * 100 / 250.0, 0}},
        {"at rest before the first line", {Line(7, 0, 100)}, 1000, 2, {0, 100 * 300 / 500.0}},
        {"the last line holds to the end", {Line(0, 0, 0), Line(2, 1, 60)}, 1000, 2, {36, 60}},
        // 500 ms of media: the lines at 500 ms and later are never reached.
        {"script longer than the media",
         {Line(0, 0, 10), Line(4, 0, 50), Line(5, 1, 100), Line(9, 0, 100)},
         500,
         2,
         {10, (10 * 150 + 50 * 100) / 250.0}},
        {"times far past any media", {Line(0, 0, 30), Line(INT64_MAX, 0, 100)}, 1000, 2, {30, 30}},
        // 1000 / 3 ms slices: none of the boundaries falls on a whole ms.
        {"slices of fractional width", {Line(0, 1, 70)}, 1000, 3, {70, 70, 70}},
        {"one slice is the whole media's mean",
         {Line(0, 0, 20), Line(5, 0, 100)},
         1000,
         1,
         {(20 * 500 + 100 * 500) / 1000.0}},
        {"more slices than ms", {Line(0, 0, 90)}, 3, 6, {90, 90, 90, 90, 90, 90}},
        // Lines at the same time: the last one rules.
        {"lines at the same time", {Line(0, 0, 100), Line(0, 0, 10)}, 1000, 1, {10}},
    };
    for (const auto& c : cases)
        ExpectSpeeds(ScriptHeat(c.lines, c.lengthMs, c.slices), c.speeds, c.name);
}

TEST(ScriptHeat, NothingToShowGivesNoSlices) {
    const std::vector<CSV_LINE> script{Line(0, 0, 50)};
    EXPECT_TRUE(ScriptHeat({}, 1000, 10).empty());
    EXPECT_TRUE(ScriptHeat(script, 0, 10).empty());
    EXPECT_TRUE(ScriptHeat(script, -5, 10).empty());
    EXPECT_TRUE(ScriptHeat(script, 1000, 0).empty());
    EXPECT_TRUE(ScriptHeat(script, 1000, -1).empty());
    // Lines that all come after the media's end still give slices, at rest.
    ExpectSpeeds(ScriptHeat({Line(20, 0, 80)}, 1000, 2), {0, 0}, "all past the end");
}

TEST(ScriptHeat, DirectionChangesCountWhereTheDeviceTurnsTheOtherWay) {
    struct Case {
        const char* name;
        std::vector<CSV_LINE> lines;
        std::vector<int> changes;  // per 100 ms slice of 1 s; empty for none
    } cases[] = {
        {"a reversal", {Line(0, 0, 50), Line(4, 1, 50)}, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"same direction, other speed", {Line(0, 1, 50), Line(4, 1, 90)}, {}},
        // A stop's direction bit means nothing; a reversal across it shows where it moves again.
        {"a stop turns nothing", {Line(0, 0, 50), Line(2, 1, 0), Line(3, 0, 30)}, {}},
        {"a reversal across a stop",
         {Line(0, 0, 50), Line(2, 0, 0), Line(5, 1, 30)},
         {0, 0, 0, 0, 0, 1, 0, 0, 0, 0}},
        {"the first line is no change", {Line(3, 1, 40)}, {}},
        {"past the end is never reached", {Line(0, 0, 40), Line(10, 1, 40)}, {}},
    };
    for (const auto& c : cases) {
        const std::vector<int> expected = c.changes.empty() ? std::vector<int>(10) : c.changes;
        EXPECT_EQ(Changes(ScriptHeat(c.lines, 1000, 10)), expected) << c.name;
    }

    // Three reversals within one slice of 500 ms.
    const std::vector<CSV_LINE> shaking{Line(0, 0, 60), Line(1, 1, 60), Line(2, 0, 60),
                                        Line(3, 1, 60), Line(7, 1, 60)};
    EXPECT_EQ(Changes(ScriptHeat(shaking, 1000, 2)), (std::vector<int>{3, 0}));
}

// A turn at the very start of a slice belongs to that slice, also when the slices' width is
// no whole number of ms (6 s into a minute of 310 slices is where slice 31 begins), and a
// line whose time in ms just fits in int64 is reached in a media that long.
TEST(ScriptHeat, ATurnOnASliceBoundaryCountsInTheSliceItBegins) {
    struct Case {
        int64_t lengthMs;
        int slices;
        int64_t turnTenths;
        size_t slice;
    } cases[] = {
        {60'000, 310, 60, 31},
        {60'000, 900, 200, 300},
        {INT64_MAX, 2, INT64_MAX / 100, 1},
    };
    for (const auto& c : cases) {
        const std::vector<HeatSlice> heat =
            ScriptHeat({Line(0, 0, 50), Line(c.turnTenths, 1, 50)}, c.lengthMs, c.slices);
        std::vector<int> expected(static_cast<size_t>(c.slices));
        expected[c.slice] = 1;
        EXPECT_EQ(Changes(heat), expected) << c.lengthMs << " ms, " << c.slices << " slices";
    }
}

}  // namespace
