#pragma once

// A draft play file from a video's picture: decodes it (VideoFrames), measures the camera's
// turning between frames (CameraTurn) and turns that into lines (TurnDraft). What the
// command-line tool and the window share; runs on the caller's thread, telling its progress
// as it goes and stopping when told to.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "authoring/TurnDraft.h"
#include "sync/PlayScript.h"

// The width the pictures are measured at: enough for a pan's edges, little enough to be
// several times faster than the video plays.
inline constexpr int kAnalysisWidth = 320;

struct AutoscriptResult {
    std::vector<CSV_LINE> lines;
    int64_t frames = 0;
    int64_t durationUs = 0;  // the last frame's time
    bool cancelled = false;
    std::string error;  // not empty when the video could not be read
};

// `progress` gets the time reached and the video's length (0 when unknown) after each frame,
// and returns false to stop.
using AutoscriptProgress = std::function<bool(int64_t doneUs, int64_t totalUs)>;

[[nodiscard]] AutoscriptResult DraftPlayFile(const std::string& video, const DraftOptions& options,
                                             const AutoscriptProgress& progress);
