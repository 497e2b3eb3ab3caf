#pragma once

// The virtual dongle's command line, read into the settings of one run. Kept apart from the
// program so that the fuzzer reads command lines exactly as kestrune-devsim does.

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Talk.h"

namespace devsim {

inline constexpr const char* kDefaultName = "usb-Kestrune_Virtual_Dongle-if00";

struct Options {
    std::optional<std::string> folder;
    std::string name = kDefaultName;
    std::optional<std::string> record;
    bool epochMs = false;
    std::optional<double> unplugAfter;
    std::optional<double> replugAfter;
    std::optional<double> duration;
    std::vector<Utterance> talk;
    std::vector<Utterance> talkEvery;
};

// A command line that cannot be understood; what() says why, for the user.
class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// argv[1] to argv[argc - 1]. Sets `help` for -h or --help and reads on. Throws UsageError.
[[nodiscard]] Options ParseOptions(int argc, char* argv[], bool& help);

}  // namespace devsim
