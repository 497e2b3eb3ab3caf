#include <gtest/gtest.h>

#include <string>

#include "player/PlaybackMath.h"

namespace {

TEST(HoldStep, DoublesAtEachThreshold) {
    struct Case {
        int64_t held;
        int64_t step;
    } cases[] = {{200, 1000},   {3000, 1000},  {3200, 2000},   {4400, 2000},
                 {4600, 4000},  {5400, 4000},  {5600, 8000},   {6200, 8000},
                 {6400, 16000}, {6800, 16000}, {7000, 32000},  {7200, 32000},
                 {7400, 64000}, {7600, 64000}, {7800, 128000}, {60000, 128000}};
    for (const auto& c : cases) EXPECT_EQ(HoldStep(c.held), c.step) << c.held;
}

TEST(HoldStep, HoldingThreeSecondsMovesFifteenSeconds) {
    int64_t moved = 0;
    for (int64_t held = 200; held <= 3000; held += 200) moved += HoldStep(held);
    EXPECT_EQ(moved, 15000);
}

TEST(HoldSeekTarget, StaysWithinTheMedia) {
    EXPECT_EQ(HoldSeekTarget(5000, 1000, 10000, true), 6000);
    EXPECT_EQ(HoldSeekTarget(5000, 1000, 10000, false), 4000);
    EXPECT_EQ(HoldSeekTarget(9500, 1000, 10000, true), 9999);  // 1 ms before the end
    EXPECT_EQ(HoldSeekTarget(500, 1000, 10000, false), 0);
    EXPECT_EQ(HoldSeekTarget(500, 1000, -1, true), 0);  // no media: never negative
}

TEST(SliderSeekTarget, DividesTheLengthFirst) {
    EXPECT_EQ(SliderSeekTarget(10001, 50), 5000);
    EXPECT_EQ(SliderSeekTarget(10001, 100), 10000);
    EXPECT_EQ(SliderSeekTarget(10001, 0), 0);
    EXPECT_EQ(SliderSeekTarget(99, 99), 0);
}

TEST(SliderPosition, TruncatesTheShare) {
    EXPECT_EQ(SliderPosition(0, 10000), 0);
    EXPECT_EQ(SliderPosition(9999, 10000), 99);
    EXPECT_EQ(SliderPosition(10000, 10000), 100);
    EXPECT_EQ(SliderPosition(5000, 0), 0);
}

TEST(FormatClock, WrapsHoursAtADay) {
    EXPECT_EQ(FormatClock(0), "00:00:00");
    EXPECT_EQ(FormatClock(999), "00:00:00");
    EXPECT_EQ(FormatClock(3723000), "01:02:03");
    EXPECT_EQ(FormatClock(86399999), "23:59:59");
    EXPECT_EQ(FormatClock(86400000 + 61000), "00:01:01");
    EXPECT_EQ(FormatClock(100LL * 3600 * 1000), "04:00:00");
}

TEST(ShortenTitle, KeepsTheLastEightyBytesOnACharacterBoundary) {
    const std::string ascii80(80, 'a');
    EXPECT_EQ(ShortenTitle(ascii80), ascii80);
    EXPECT_EQ(ShortenTitle("x" + ascii80), "..." + ascii80);
    // 27 three-byte characters are 81 bytes: the cut would split the first one.
    std::string japanese;
    for (int i = 0; i < 27; ++i) japanese += "動";
    const std::string shortened = ShortenTitle(japanese);
    EXPECT_EQ(shortened, "..." + japanese.substr(3));
    EXPECT_EQ(ShortenTitle(""), "");
}

}  // namespace
