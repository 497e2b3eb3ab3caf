#pragma once

// Turns a stream of device commands into play-file lines, as both ways of making a play file
// write them (the draft from the picture, and recording while watching): a line only where the
// command changes, in tenths of a second, never two in the same tenth (the player sends packets
// at least 100 ms apart). The device starts at rest: a stop before the first motion writes
// nothing. Within one tenth the last command given wins, and a tenth that ends on the command
// of the line before it writes nothing. Times must not go back; a command given earlier than
// the last one is ignored.

#include <cstdint>
#include <string>
#include <vector>

#include "sync/PlayScript.h"

// The packet byte of a command: bit 7 the direction, bits 0-6 the speed (clamped to 0..100).
[[nodiscard]] uint8_t MakeCommand(int direction, int speed);
[[nodiscard]] inline int CommandDirection(uint8_t command) { return command >> 7; }
[[nodiscard]] inline int CommandSpeed(uint8_t command) { return command & 0x7F; }
// A stopped device has speed 0 whichever way it was set to turn.
[[nodiscard]] inline bool IsStop(uint8_t command) { return CommandSpeed(command) == 0; }

// The play file's text for `lines`: "time,direction,speed" with LF endings.
[[nodiscard]] std::string FormatPlayFile(const std::vector<CSV_LINE>& lines);

class LineRecorder {
public:
    // The command in force from `ms` (ms of the video) on.
    void Add(int64_t ms, uint8_t command);
    [[nodiscard]] const std::vector<CSV_LINE>& Lines() const { return lines_; }

private:
    // Whether `command` is what the device does before line `index` (at rest before the first).
    [[nodiscard]] bool SameAsBefore(size_t index, uint8_t command) const;

    std::vector<CSV_LINE> lines_;
    int64_t lastMs_ = INT64_MIN;
};
