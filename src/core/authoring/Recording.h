#pragma once

// Recording a play file while watching: the pointer's place across the video sets the command,
// the commands are kept against the video's time, earlier by the user's reaction time, and the
// recorded stretch replaces only its own part of the play file loaded before (punch-in).
//
//   pointer across the video:  |<- left, 100 ... 1 ->|<- stop ->|<- 1 ... 100, right ->|
//                              0                 0.45 w      0.55 w                    w

#include <cstdint>
#include <utility>
#include <vector>

#include "sync/PlayScript.h"

// Half the stop zone in the middle, as a share of the width.
inline constexpr double kPointerStopZone = 0.05;

// The command for the pointer at `x` across a video `width` wide: stop in the middle zone,
// else towards the side it is on (right: `rightDirection`), faster with its distance from the
// zone, 100 at the edge.
[[nodiscard]] uint8_t PointerCommand(double x, double width, int rightDirection);

// What one recording made: the commands in video time, from `fromMs` (its first) to `toMs`.
struct RecordedStretch {
    int64_t fromMs = 0;
    int64_t toMs = 0;
    std::vector<std::pair<int64_t, uint8_t>> commands;
};

class Recording {
public:
    // Recording from video time `startMs`; every command is kept `reactionMs` earlier (people
    // react late), never before the start of the video.
    Recording(int64_t startMs, int reactionMs, uint8_t command);

    // The pointer set `command` at video time `videoMs`.
    void Add(int64_t videoMs, uint8_t command);
    // The stretch as it ends at video time `videoMs`.
    [[nodiscard]] RecordedStretch End(int64_t videoMs) const;
    [[nodiscard]] uint8_t Command() const { return stretch_.commands.back().second; }

private:
    [[nodiscard]] int64_t Shifted(int64_t videoMs) const;

    int reactionMs_;
    RecordedStretch stretch_;
};

// `script` with `stretch` recorded over it: the script's lines before the stretch, the
// stretch's commands, and from its end on, the script again (its line in force then first).
// As lines: only where the command changes, at most one a tenth.
[[nodiscard]] std::vector<CSV_LINE> PunchIn(const std::vector<CSV_LINE>& script,
                                            const RecordedStretch& stretch);
