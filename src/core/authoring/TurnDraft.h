#pragma once

// Turns the camera's turning, as measured between a video's frames (CameraTurn), into a draft
// play file: the turning rate in degrees a second, smoothed, through a dead zone with
// hysteresis, mapped to speed, stopped at every cut. The whole video is known when this runs,
// so the smoothing looks both ways and adds no lag: a pan's line comes when its picture
// starts to turn.
//
//   |rate| (deg/s) ──────────────────────────────────────────────────────────────────
//   kStartDegPerS  ─ ─ ─ ─ ─ ─ ─ ─ ─ ─/‾‾‾‾‾‾‾‾‾‾\─ ─ ─ ─  starts turning above this
//   kStopDegPerS   ─ ─ ─ ─ ─ ─ ─ ─ ─ /─ ─ ─ ─ ─ ─ \ ─ ─ ─  stops below this
//   command        stop ............[ turning    ]... stop

#include <cstdint>
#include <vector>

#include "sync/PlayScript.h"

struct DraftOptions {
    double fovDeg = 60.0;            // the camera's horizontal field of view
    double fullSpeedDegPerS = 60.0;  // turning this fast is speed 100
    int rightDirection = 0;          // the device's direction for the camera turning right
};

// One frame against the one before: the picture's content moved `shiftPx` to the right on a
// picture `widthPx` wide (a camera turning right moves it left), or the frame starts a new
// shot.
struct FrameMotion {
    int64_t timeUs = 0;  // the frame's presentation time, in microseconds
    double shiftPx = 0;
    int widthPx = 0;
    bool cut = false;
};

class TurnDraft {
public:
    static constexpr double kStartDegPerS = 2.0;
    static constexpr double kStopDegPerS = 1.0;
    // The smoothing looks this far each way (within a shot).
    static constexpr int64_t kSmoothingHalfUs = 120'000;
    // After a cut the device rests this long: the new shot's turning is measured from its
    // own frames.
    static constexpr int64_t kCutRestUs = 300'000;
    // A turning device keeps its speed until the rate asks for one at least this different.
    static constexpr int kSpeedStep = 3;

    explicit TurnDraft(const DraftOptions& options) : options_(options) {}

    // The camera's turning rate at each frame, deg/s, positive to the right; 0 at a cut and
    // at the first frame of the video.
    [[nodiscard]] std::vector<double> Rates(const std::vector<FrameMotion>& frames) const;
    // The rates within kSmoothingHalfUs of each frame in its shot, two ways: their median
    // says when the camera starts and stops turning and which way (it moves at once at a step,
    // and single frames do not move it); the mean of the middle half of those that turn the
    // median's way says how fast (it settles where frame-to-frame noise would flip a median
    // between two values).
    struct Smoothed {
        std::vector<double> median;
        std::vector<double> mean;
    };
    [[nodiscard]] static Smoothed Smooth(const std::vector<FrameMotion>& frames,
                                         const std::vector<double>& rates);
    // The device's command at each frame for these smoothed rates.
    [[nodiscard]] std::vector<uint8_t> Commands(const std::vector<FrameMotion>& frames,
                                                const Smoothed& smoothed) const;
    // The play file's lines for the frames of a whole video, in time order.
    [[nodiscard]] std::vector<CSV_LINE> Lines(const std::vector<FrameMotion>& frames) const;

private:
    [[nodiscard]] int SpeedFor(double rate) const;

    DraftOptions options_;
};
