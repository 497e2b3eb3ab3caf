#include "authoring/TurnDraft.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "authoring/LineRecorder.h"

std::vector<double> TurnDraft::Rates(const std::vector<FrameMotion>& frames) const {
    std::vector<double> rates(frames.size(), 0.0);
    for (size_t i = 1; i < frames.size(); ++i) {
        const FrameMotion& frame = frames[i];
        const int64_t dt = frame.timeUs - frames[i - 1].timeUs;
        if (frame.cut || dt <= 0 || frame.widthPx <= 0) continue;
        rates[i] = -frame.shiftPx / frame.widthPx * options_.fovDeg * 1e6 / static_cast<double>(dt);
    }
    return rates;
}

TurnDraft::Smoothed TurnDraft::Smooth(const std::vector<FrameMotion>& frames,
                                      const std::vector<double>& rates) {
    Smoothed smoothed{std::vector<double>(rates.size(), 0.0),
                      std::vector<double>(rates.size(), 0.0)};
    std::vector<double> window;
    for (size_t shotStart = 0; shotStart < frames.size();) {
        size_t shotEnd = shotStart + 1;  // one past the shot's last frame
        while (shotEnd < frames.size() && !frames[shotEnd].cut) ++shotEnd;
        size_t first = shotStart;  // the window's frames: [first, last)
        size_t last = shotStart;
        for (size_t i = shotStart; i < shotEnd; ++i) {
            while (frames[i].timeUs - frames[first].timeUs > kSmoothingHalfUs) ++first;
            while (last < shotEnd && frames[last].timeUs - frames[i].timeUs <= kSmoothingHalfUs) {
                ++last;
            }
            window.assign(rates.begin() + static_cast<std::ptrdiff_t>(first),
                          rates.begin() + static_cast<std::ptrdiff_t>(last));
            std::sort(window.begin(), window.end());
            const double median = window[window.size() / 2];
            smoothed.median[i] = median;
            // Only the rates that turn the way the median does count for the speed: at the
            // start or the end of a pan, the window's frames of rest would slow it.
            std::erase_if(window, [median](double rate) {
                return std::fabs(rate) < kStopDegPerS || (rate > 0) != (median > 0);
            });
            const size_t trim = window.size() / 4;
            double sum = 0;
            for (size_t j = trim; j < window.size() - trim; ++j) sum += window[j];
            smoothed.mean[i] =
                window.empty() ? median : sum / static_cast<double>(window.size() - 2 * trim);
        }
        shotStart = shotEnd;
    }
    return smoothed;
}

int TurnDraft::SpeedFor(double rate) const {
    const double speed = std::fabs(rate) / options_.fullSpeedDegPerS * 100.0;
    return std::clamp(static_cast<int>(std::lround(speed)), 1, 100);
}

std::vector<uint8_t> TurnDraft::Commands(const std::vector<FrameMotion>& frames,
                                         const Smoothed& smoothed) const {
    std::vector<uint8_t> commands(frames.size(), 0);
    int direction = -1;  // -1: at rest
    int speed = 0;
    int64_t restUntilUs = INT64_MIN;
    for (size_t i = 0; i < frames.size(); ++i) {
        const double rate = smoothed.median[i];
        const double size = std::fabs(rate);
        const double mean = smoothed.mean[i];
        const int wanted = rate > 0 ? options_.rightDirection : 1 - options_.rightDirection;
        if (frames[i].cut) restUntilUs = frames[i].timeUs + kCutRestUs;
        if (frames[i].timeUs < restUntilUs) {
            direction = -1;
        } else if (direction < 0 ? size >= kStartDegPerS : size < kStopDegPerS) {
            // Starts turning, or comes to rest.
            direction = direction < 0 ? wanted : -1;
            speed = direction < 0 ? 0 : SpeedFor(mean);
        } else if (direction >= 0 && wanted != direction && size >= kStartDegPerS) {
            direction = wanted;  // turned the other way without resting in between
            speed = SpeedFor(mean);
        } else if (direction >= 0 && std::abs(SpeedFor(mean) - speed) >= kSpeedStep) {
            speed = SpeedFor(mean);
        }
        commands[i] = direction < 0 ? uint8_t{0} : MakeCommand(direction, speed);
    }
    return commands;
}

std::vector<CSV_LINE> TurnDraft::Lines(const std::vector<FrameMotion>& frames) const {
    const std::vector<uint8_t> commands = Commands(frames, Smooth(frames, Rates(frames)));
    LineRecorder recorder;
    for (size_t i = 0; i < frames.size(); ++i) recorder.Add(frames[i].timeUs / 1000, commands[i]);
    return recorder.Lines();
}
