#pragma once

// The command line of kestrune-autoscript:
//   kestrune-autoscript VIDEO [-o FILE] [--fov DEG] [--full-speed DEG_PER_S]
//                       [--right-direction 0|1] [--force]

#include <string>
#include <vector>

#include "authoring/TurnDraft.h"

struct AutoscriptArguments {
    std::string video;
    std::string output;  // empty: beside the video (DraftPathFor)
    DraftOptions options;
    bool force = false;
    bool help = false;
    std::string error;  // not empty when the arguments cannot be understood
};

inline constexpr const char* kAutoscriptUsage =
    "usage: kestrune-autoscript VIDEO [-o FILE] [--fov DEG] [--full-speed DEG_PER_S]\n"
    "                           [--right-direction 0|1] [--force]\n"
    "Drafts a play file from the camera's turning in VIDEO.\n"
    "  -o FILE                the play file to write (default: VIDEO's name with .csv)\n"
    "  --fov DEG              the camera's horizontal field of view (default 60)\n"
    "  --full-speed DEG_PER_S the turning rate that is speed 100 (default 60)\n"
    "  --right-direction 0|1  the device's direction for the camera turning right (default 0)\n"
    "  --force                replace the play file if it exists\n";

// `arguments` without the program's name.
[[nodiscard]] AutoscriptArguments ParseAutoscriptArguments(
    const std::vector<std::string>& arguments);
