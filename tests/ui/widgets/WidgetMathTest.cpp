// The widgets' pixel arithmetic, which runs without a display: where the bitmap slider's
// thumb sits and which position a pixel stands for, the image buttons' blend of a frame over
// what lies beneath, and which frame a button's state shows.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "widgets/AlphaBlend.h"
#include "widgets/AlphaButton.h"
#include "widgets/SliderGeometry.h"

namespace {

using Bgra = std::array<uint8_t, 4>;

TEST(SliderGeometry, ThumbCentreAndPositionAtPixel) {
    struct Case {
        const char* name;
        SliderGeometry g;
        int position;
        int centre;
        int pixel;
        int positionAtPixel;
    } cases[] = {
        {"seek start", {280, 14, 0, 100, 0, 0}, 0, 7, 9, 0},
        {"seek middle", {280, 14, 0, 100, 0, 0}, 50, 140, 141, 50},
        {"seek end", {280, 14, 0, 100, 0, 0}, 100, 273, 10, 1},
        {"volume", {64, 14, 0, 100, 0, 0}, 50, 32, 8, 2},
        // The share is taken before scaling: 29 / 50 * 100 truncates to 57, 58 / 100 * 50 to 28.
        {"volume, share first", {64, 14, 0, 100, 0, 0}, 58, 35, 36, 57},
        {"margins", {280, 14, 0, 100, 5, 11}, 50, 137, 137, 50},
        {"margins at the end", {280, 14, 0, 100, 5, 11}, 100, 262, 262, 100},
        {"range from 10", {280, 14, 10, 60, 0, 0}, 35, 140, 140, 35},
        {"empty range", {280, 14, 5, 5, 0, 0}, 5, 7, 100, 5},
        {"no room for the thumb", {14, 14, 0, 100, 0, 0}, 100, 7, 7, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ThumbCentre(c.g, c.position), c.centre) << c.name;
        EXPECT_EQ(ThumbLeft(c.g, c.position), c.centre - c.g.thumbWidth / 2) << c.name;
        EXPECT_EQ(PositionAtPixel(c.g, c.pixel), c.positionAtPixel) << c.name;
    }
}

TEST(SliderGeometry, DragKeepsTheThumbOnTheTrackEndLast) {
    const SliderGeometry seek{280, 14, 0, 100, 5, 11};
    const SliderGeometry cramped{20, 14, 0, 100, 5, 11};  // start 12 lies past end 2
    struct Case {
        SliderGeometry g;
        int x;
        int clamped;
    } cases[] = {{seek, -50, 12},  {seek, 12, 12},    {seek, 100, 100}, {seek, 262, 262},
                 {seek, 263, 262}, {cramped, -50, 2}, {cramped, 50, 2}};
    for (const auto& c : cases) EXPECT_EQ(ClampDragPixel(c.g, c.x), c.clamped) << c.x;
}

// One application message as the parent received it.
TEST(BlendOver, PixelCases) {
    struct Case {
        Bgra source;       // straight alpha
        Bgra destination;  // premultiplied
        Bgra expected;
    } cases[] = {
        // Fully transparent source: the snapshot stays as it was, alpha included.
        {{10, 20, 30, 0}, {40, 50, 60, 70}, {40, 50, 60, 70}},
        // Opaque source replaces colour, alpha becomes opaque.
        {{10, 20, 30, 255}, {40, 50, 60, 70}, {10, 20, 30, 255}},
        // Half over opaque black: the source scaled by 128 / 255, truncated.
        {{255, 100, 0, 128}, {0, 0, 0, 255}, {128, 50, 0, 255}},
        // Half over nothing: the source premultiplied by its own alpha.
        {{255, 255, 255, 128}, {0, 0, 0, 0}, {128, 128, 128, 128}},
        // Half red over opaque blue.
        {{0, 0, 255, 128}, {255, 0, 0, 255}, {127, 0, 128, 255}},
    };
    for (const auto& c : cases) {
        Bgra destination = c.destination;
        BlendOver(c.source.data(), 4, destination.data(), 4, 1, 1);
        EXPECT_EQ(destination, c.expected) << int(c.source[3]) << " over " << int(c.destination[3]);
    }
}

TEST(BlendOver, HonoursStridesAndLeavesPaddingAlone) {
    // Two rows of two pixels; the source has 4 padding bytes per row, the destination 8.
    std::vector<uint8_t> source(12 * 2, 0x55);
    for (int y = 0; y < 2; ++y) {
        for (int i = 0; i < 8; ++i) source[y * 12 + i] = static_cast<uint8_t>(y * 10 + i);
        source[y * 12 + 3] = source[y * 12 + 7] = 255;
    }
    std::vector<uint8_t> destination(16 * 2, 0xEE);
    BlendOver(source.data(), 12, destination.data(), 16, 2, 2);
    for (int y = 0; y < 2; ++y) {
        for (int i = 0; i < 8; ++i) EXPECT_EQ(destination[y * 16 + i], source[y * 12 + i]);
        for (int i = 8; i < 16; ++i) EXPECT_EQ(destination[y * 16 + i], 0xEE) << y << "," << i;
    }
}

TEST(ChooseFrame, StateDecidesTheFrame) {
    struct Case {
        bool disabled, pressed, hovering, focused;
        int frame;
    } cases[] = {
        {false, true, true, true, 2},    {true, true, true, true, 3},
        {true, false, false, false, 3},  {false, false, false, true, 4},
        {false, false, true, true, 1},   {false, false, true, false, 1},
        {false, false, false, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ChooseFrame(c.disabled, c.pressed, c.hovering, c.focused), c.frame)
            << c.disabled << c.pressed << c.hovering << c.focused;
    }
}

}  // namespace
