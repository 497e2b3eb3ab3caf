#include "authoring/Recording.h"

#include <algorithm>
#include <cmath>

#include "authoring/LineRecorder.h"

uint8_t PointerCommand(double x, double width, int rightDirection) {
    if (!(width > 0)) return 0;
    const double fromMiddle = x / width - 0.5;
    const double beyond = std::fabs(fromMiddle) - kPointerStopZone;
    if (beyond <= 0) return 0;
    const auto speed = static_cast<int>(std::lround(beyond / (0.5 - kPointerStopZone) * 100.0));
    const int direction = fromMiddle > 0 ? rightDirection : 1 - rightDirection;
    return MakeCommand(direction, std::min(speed, 100));
}

Recording::Recording(int64_t startMs, int reactionMs, uint8_t command)
    : reactionMs_(std::max(reactionMs, 0)) {
    stretch_.fromMs = Shifted(startMs);
    stretch_.toMs = stretch_.fromMs;
    stretch_.commands.emplace_back(stretch_.fromMs, command);
}

int64_t Recording::Shifted(int64_t videoMs) const {
    return std::max<int64_t>(videoMs - reactionMs_, 0);
}

void Recording::Add(int64_t videoMs, uint8_t command) {
    // Never before what is already kept: the video's time does not go back while recording.
    const int64_t at = std::max(Shifted(videoMs), stretch_.commands.back().first);
    stretch_.commands.emplace_back(at, command);
}

RecordedStretch Recording::End(int64_t videoMs) const {
    RecordedStretch stretch = stretch_;
    stretch.toMs = std::max(Shifted(videoMs), stretch.commands.back().first);
    return stretch;
}

std::vector<CSV_LINE> PunchIn(const std::vector<CSV_LINE>& script, const RecordedStretch& stretch) {
    LineRecorder lines;
    uint8_t inForceAtEnd = 0;  // the script's command at the stretch's end
    for (const CSV_LINE& line : script) {
        const int64_t ms = TenthsToMs(line.time);
        if (ms < stretch.fromMs) lines.Add(ms, line.command);
        if (ms <= stretch.toMs) inForceAtEnd = line.command;
    }
    for (const auto& [ms, command] : stretch.commands) lines.Add(ms, command);
    lines.Add(stretch.toMs, inForceAtEnd);
    for (const CSV_LINE& line : script) {
        const int64_t ms = TenthsToMs(line.time);
        if (ms > stretch.toMs) lines.Add(ms, line.command);
    }
    return lines.Lines();
}
