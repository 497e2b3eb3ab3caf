#pragma once

// The script's intensity along the media, in equal slices of time: what the seek bar paints
// under its thumb. A pure function of the accepted lines, the media's length and the number
// of slices (the bar's pixels); the caller keeps the result.
//
//   lines     a         b            c              (a line is in force until the next one)
//   time   0 ---|=========|============|============== length
//   speed   0   | speed a | speed b    | speed c, to the media's end
//   slices |  0  |  1  |  2  |  3  |  4  |  5  |  6  |
//
// Before the first line the device is at rest (speed 0); the last line holds until the media
// ends, as the device keeps its last command until playback stops. Lines at or after the
// media's end are never reached and count for nothing.

#include <cstdint>
#include <vector>

#include "sync/PlayScript.h"

struct HeatSlice {
    // The speed in force, 0 to 100, averaged over the slice's time.
    double speed = 0;
    // Lines starting in the slice that turn the device the other way round than the line
    // that last moved it. Lines of speed 0 stop the device and leave its direction alone, so
    // a reversal across a stop still counts, once, at the line that moves again.
    int directionChanges = 0;
};

// `lines` as PlayScript keeps them: sorted by time, in tenths of a second. Returns `slices`
// slices covering [0, lengthMs), or none for no lines, no length or no slices. Takes time in
// proportion to the lines and slices, whatever their times.
[[nodiscard]] std::vector<HeatSlice> ScriptHeat(const std::vector<CSV_LINE>& lines,
                                                int64_t lengthMs, int slices);
