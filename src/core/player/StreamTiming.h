#pragma once

// How libvlc's reported time relates to the picture for a medium, read from the medium's own
// timestamps (see ClockFit). libvlc reports the time of the data it has just read, counted
// from the stream's first clock reference; the picture shows each frame when the clock
// reaches its presentation time. The difference is the stream's mux lead:
// - MPEG transport streams: the first picture's presentation time less the first clock
//   reference (the muxer's delay, commonly 0.7 to 1.4 s);
// - MPEG program streams: the latest video presentation time less the pack's clock
//   reference, over the packs (the decoder buffer's delay, 0.3 to 0.5 s);
// - DVDs: the presentation time of each video unit's first picture less its nav pack's clock
//   reference; and a DVD's time counts NTSC frames at 30 a second, so it runs slow by 1/1000.
// - Matroska: its first picture's time less the earliest block's (the sound may start first);
// Other files (MP4, ...) are taken as reported. The means are of the middle half, so
// that the odd unit at a cut does not count. Reads at most a few megabytes of each file.

#include <cstdint>
#include <optional>
#include <string>

#include "player/ClockFit.h"

// The scale for the video file at `path`; rate 1 and no lead where the file tells nothing.
[[nodiscard]] ClockScale FileClockScale(const std::string& path);

// What is assumed of a DVD that cannot be read: the old rate, no lead.
inline constexpr ClockScale kUnreadDvdScale{1201.0 / 1200.0, 0};

// The scale for the DVD at `location` (a dvd:// location or a path: a VIDEO_TS folder, the
// folder holding it, or an ISO 9660 image or drive holding it); kUnreadDvdScale where the
// disc cannot be read. May take as long as a drive takes to spin up.
[[nodiscard]] ClockScale DvdClockScale(const std::string& location);

// What the readers find, for the tests: the lead of an MPEG transport or program stream in
// `bytes`, or none.
[[nodiscard]] std::optional<int64_t> TransportStreamLeadMs(const std::string& bytes);
[[nodiscard]] std::optional<int64_t> ProgramStreamLeadMs(const std::string& bytes);
// The first picture's time less the earliest block's in a Matroska file's first clusters.
[[nodiscard]] std::optional<int64_t> MatroskaLeadMs(const std::string& bytes);
// The mean of each nav pack's first presentation time less its clock reference.
[[nodiscard]] std::optional<int64_t> DvdNavLeadMs(const std::string& bytes);
