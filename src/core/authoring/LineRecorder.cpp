#include "authoring/LineRecorder.h"

#include <algorithm>

uint8_t MakeCommand(int direction, int speed) {
    return static_cast<uint8_t>((direction != 0 ? 0x80 : 0) | std::clamp(speed, 0, 100));
}

std::string FormatPlayFile(const std::vector<CSV_LINE>& lines) {
    std::string text;
    for (const CSV_LINE& line : lines) {
        text += std::to_string(line.time) + "," + std::to_string(CommandDirection(line.command)) +
                "," + std::to_string(CommandSpeed(line.command)) + "\n";
    }
    return text;
}

bool LineRecorder::SameAsBefore(size_t index, uint8_t command) const {
    if (index == 0) return IsStop(command);
    const uint8_t before = lines_[index - 1].command;
    return before == command || (IsStop(before) && IsStop(command));
}

void LineRecorder::Add(int64_t ms, uint8_t command) {
    if (ms < lastMs_ || ms < 0) return;
    lastMs_ = ms;
    const int64_t tenth = ms / kMsPerTenth;
    if (!lines_.empty() && lines_.back().time == tenth) {
        lines_.back().command = command;
        if (SameAsBefore(lines_.size() - 1, command)) lines_.pop_back();
        return;
    }
    if (SameAsBefore(lines_.size(), command)) return;
    lines_.push_back({tenth, command});
}
