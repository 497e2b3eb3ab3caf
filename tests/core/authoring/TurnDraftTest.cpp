#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "authoring/LineRecorder.h"
#include "authoring/TurnDraft.h"

namespace {

// Frames at `fps` whose content moves by shift(t) pixels a frame on a 320-pixel picture.
template <typename Shift>
std::vector<FrameMotion> Frames(double fps, double seconds, Shift shift) {
    std::vector<FrameMotion> frames;
    for (int i = 0; i < static_cast<int>(seconds * fps); ++i) {
        const auto us = static_cast<int64_t>(std::llround(i * 1e6 / fps));
        frames.push_back({us, i == 0 ? 0.0 : shift(us / 1e6), 320, false});
    }
    return frames;
}

// The shift a frame that turns the camera `degPerS` to the right gives at `fps`, 60 degrees
// across 320 pixels.
double ShiftFor(double degPerS, double fps) { return -degPerS / fps / 60.0 * 320.0; }

std::string Draft(const std::vector<FrameMotion>& frames, DraftOptions options = {}) {
    return FormatPlayFile(TurnDraft(options).Lines(frames));
}

// A camera at rest, then turning right at 30 deg/s from 1 s to 3 s: speed 50 from 1 s, the
// same at every frame rate and with the frames' times uneven (variable frame rate); the
// device's direction for a right turn follows the option.
TEST(TurnDraft, APanIsItsSpeedFromItsFirstFrameAtAnyFrameRate) {
    for (const double fps : {25.0, 30000.0 / 1001.0, 60.0}) {
        const auto frames = Frames(
            fps, 4.0, [&](double t) { return t > 1.0 && t <= 3.0 ? ShiftFor(30.0, fps) : 0.0; });
        EXPECT_EQ(Draft(frames), "10,0,50\n30,0,0\n") << fps;
    }
    auto uneven = Frames(30.0, 4.0, [](double) { return 0.0; });
    for (size_t i = 1; i < uneven.size(); ++i) {
        uneven[i].timeUs += static_cast<int64_t>(i % 2) * 12'000;  // 21 to 45 ms apart
        const double dt = static_cast<double>(uneven[i].timeUs - uneven[i - 1].timeUs) / 1e6;
        const double t = static_cast<double>(uneven[i].timeUs) / 1e6;
        uneven[i].shiftPx = t > 1.0 && t <= 3.0 ? -30.0 * dt / 60.0 * 320.0 : 0.0;
    }
    EXPECT_EQ(Draft(uneven), "10,0,50\n30,0,0\n");

    const auto left = Frames(25.0, 2.0, [](double t) { return t > 0.5 ? ShiftFor(-60, 25) : 0.0; });
    EXPECT_EQ(Draft(left), "5,1,100\n");
    EXPECT_EQ(Draft(left, {.rightDirection = 1}), "5,0,100\n");
    // A wider lens makes the same shift a faster turn; a lower full speed, a higher speed.
    EXPECT_EQ(Draft(left, {.fovDeg = 30.0}), "5,1,50\n");
    EXPECT_EQ(Draft(left, {.fovDeg = 30.0, .fullSpeedDegPerS = 40.0}), "5,1,75\n");
}

// Below the dead zone the device stays at rest; a slow drift that rises through it starts the
// device, which then keeps turning down to the lower threshold (hysteresis) and keeps its
// speed through small changes. Jitter of single frames does not reach the device.
TEST(TurnDraft, TheDeadZoneHysteresisAndSmoothingKeepNoiseFromTheDevice) {
    const double fps = 30.0;
    EXPECT_EQ(Draft(Frames(fps, 3.0, [&](double) { return ShiftFor(1.5, fps); })), "");
    // 1.5 -> 2.5 -> 1.5 -> 0.5 deg/s: on at 2.5, still on at 1.5, off at 0.5.
    const auto drift = Frames(fps, 4.0, [&](double t) {
        return ShiftFor(t < 1.0 ? 1.5 : t < 2.0 ? 2.5 : t < 3.0 ? 1.5 : 0.5, fps);
    });
    EXPECT_EQ(Draft(drift), "10,0,4\n30,0,0\n");
    // 30 deg/s with every other frame 33: one speed, one line.
    const auto wobble = Frames(
        fps, 2.0, [&](double t) { return ShiftFor(std::lround(t * fps) % 2 ? 33 : 30, fps); });
    const std::vector<CSV_LINE> lines = TurnDraft({}).Lines(wobble);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].time, 0);
    EXPECT_GT(CommandSpeed(lines[0].command), 50);  // the two rates' mean
    EXPECT_LT(CommandSpeed(lines[0].command), 55);
    // Single frames of a large shift in a still shot (a flash, a frame the estimate lost).
    const auto flashes = Frames(fps, 3.0, [&](double t) {
        const int frame = static_cast<int>(std::lround(t * fps));
        return frame % 20 == 7 ? ShiftFor(90, fps) : 0.0;
    });
    EXPECT_EQ(Draft(flashes), "");
}

// A cut stops the device at once, even in the middle of a pan that goes on after it, for
// 0.3 s; the smoothing does not reach across it.
TEST(TurnDraft, ACutStopsTheDevice) {
    const double fps = 25.0;
    auto frames = Frames(fps, 4.0, [&](double) { return ShiftFor(30.0, fps); });
    frames[50].cut = true;  // at 2 s
    frames[50].shiftPx = 0;
    EXPECT_EQ(Draft(frames), "0,0,50\n20,0,0\n23,0,50\n");
    // The new shot is still.
    for (size_t i = 51; i < frames.size(); ++i) frames[i].shiftPx = 0;
    EXPECT_EQ(Draft(frames), "0,0,50\n20,0,0\n");
}

}  // namespace
