#pragma once

// One loaded play file: its accepted lines sorted by time, and the synchronisation cursor
// that walks them while the video plays. Created anew for every load (on the user-interface
// thread) and handed to the SyncDriver's device thread, which walks it.
//
// A play file line is "time,direction,speed[,anything]": time in tenths of a second,
// direction 0 or 1, speed 0 to 100; digits only, no blanks.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class Logger;

// Line times are in tenths of a second.
inline constexpr int64_t kMsPerTenth = 100;

// The largest play file read: 64 MiB, some six days at a line a tenth, far beyond any real
// one. A larger file, or a stream that goes on past it (/dev/zero through a pipe), is refused
// as a file that cannot be opened.
inline constexpr int64_t kMaxPlayFileBytes = int64_t{64} << 20;
// The longest line read; a longer one is rejected as non-numeric data.
inline constexpr size_t kMaxPlayFileLineBytes = 4096;

// A line's time in ms; times too large for that give the largest ms time.
[[nodiscard]] constexpr int64_t TenthsToMs(int64_t tenths) {
    constexpr int64_t kMax = INT64_MAX / kMsPerTenth;
    if (tenths > kMax) return INT64_MAX;
    if (tenths < -kMax) return INT64_MIN;
    return tenths * kMsPerTenth;
}

// One accepted line. `command` is the third byte of the packet sent for it:
// bit 7 direction, bits 0-6 speed.
struct CSV_LINE {
    int64_t time = 0;
    uint8_t command = 0;
};

class PlayScript {
public:
    // `logger` is lent (may be null: messages are then dropped).
    explicit PlayScript(Logger* logger);

    // Reads and parses the file, reporting rejected lines and the result through the logger.
    // True when the file could be read, even if no line was accepted. Folders, devices, files
    // larger than kMaxPlayFileBytes and loads that run out of memory are reported as files
    // that cannot be opened, and leave the script empty.
    [[nodiscard]] bool Load(const std::string& path);

    // One synchronisation step at player time `t` (ms): the line that is due now, if any.
    // The end marker (time -1) counts as due once the last line has been sent.
    [[nodiscard]] std::optional<CSV_LINE> Advance(int64_t t);
    // Positions the cursor for player time `t` (ms): the line in force at `t` becomes next,
    // unless the following line is at most 0.2 s away or `t` is before the first line.
    void Seek(int64_t t);
    // Copies the line at `index` into `next`; at the end, marks `next` as the end (time -1)
    // and returns false.
    bool LoadNext();

    [[nodiscard]] const std::vector<CSV_LINE>& Lines() const { return *lines_; }
    // The lines, to keep beyond the script (they never change once loaded).
    [[nodiscard]] std::shared_ptr<const std::vector<CSV_LINE>> SharedLines() const {
        return lines_;
    }
    [[nodiscard]] const CSV_LINE& Next() const { return next_; }
    [[nodiscard]] int32_t Index() const { return index_; }
    [[nodiscard]] int64_t CurrentTime() const { return currentTime_; }
    [[nodiscard]] int64_t PreviousTime() const { return previousTime_; }

private:
    // Load's reading and parsing; false when the file cannot be read (`tooLarge` says when
    // that was for its size).
    bool ReadLines(const std::string& path, bool& tooLarge);

    std::shared_ptr<const std::vector<CSV_LINE>> lines_ =
        std::make_shared<const std::vector<CSV_LINE>>();
    Logger* logger_;
    CSV_LINE next_{-1, 0};
    int32_t index_ = 0;
    int64_t currentTime_ = 0;
    int64_t previousTime_ = 0;
};
