// The player's command line: the input, cut at NUL bytes, is the argument list. The parser
// must agree with a plain reading of the usage text (options up to "--", one VIDEO at most),
// and what it accepts must read back the same when written out as a command line again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "configuration/CommandLine.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::vector<std::string>& arguments) {
    std::fprintf(stderr, "fuzz_command_line: %s; arguments:", what);
    for (const std::string& a : arguments) std::fprintf(stderr, " [%s]", a.c_str());
    std::fprintf(stderr, "\n");
    std::abort();
}

// The usage text read plainly: every argument is a flag, --play-file and its value, or a
// name; after "--" every argument is a name.
CommandLine Reference(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> names;
    bool options = true;
    for (size_t i = 0; i < arguments.size() && line.error.empty(); ++i) {
        const std::string& a = arguments[i];
        if (!options || a == "-" || a.empty() || a[0] != '-') {
            names.push_back(a);
        } else if (a == "--") {
            options = false;
        } else if (a == "--play") {
            line.play = true;
        } else if (a == "--repeat") {
            line.repeat = true;
        } else if (a == "--fullscreen") {
            line.fullScreen = true;
        } else if (a == "--help" || a == "-h") {
            line.help = true;
        } else if (a == "--play-file" && i + 1 < arguments.size()) {
            line.playFile = arguments[++i];
        } else if (a.starts_with("--play-file=")) {
            line.playFile = a.substr(a.find('=') + 1);
        } else {
            line.error = "refused";
        }
        if (names.size() > 1) line.error = "refused";
    }
    if (!names.empty()) line.video = names[0];
    return line;
}

bool Same(const CommandLine& a, const CommandLine& b) {
    return a.video == b.video && a.playFile == b.playFile && a.play == b.play &&
           a.repeat == b.repeat && a.fullScreen == b.fullScreen && a.help == b.help;
}

std::vector<std::string> Written(const CommandLine& line) {
    std::vector<std::string> arguments;
    if (line.play) arguments.push_back("--play");
    if (line.repeat) arguments.push_back("--repeat");
    if (line.fullScreen) arguments.push_back("--fullscreen");
    if (line.help) arguments.push_back("-h");
    if (!line.playFile.empty()) arguments.push_back("--play-file=" + line.playFile);
    if (!line.video.empty()) {
        arguments.push_back("--");
        arguments.push_back(line.video);
    }
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments;
    if (size > 0) arguments.emplace_back();
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.emplace_back();
        } else {
            arguments.back() += static_cast<char>(data[i]);
        }
    }

    const CommandLine line = ParseCommandLine(arguments);
    const CommandLine reference = Reference(arguments);
    if (line.error.empty() != reference.error.empty()) {
        Fail(line.error.empty() ? "accepted what the usage refuses" : "refused a good line",
             arguments);
    }
    if (!line.error.empty()) return 0;
    if (!Same(line, reference)) Fail("read differently from the usage", arguments);

    const CommandLine again = ParseCommandLine(Written(line));
    if (!again.error.empty() || !Same(again, line)) Fail("does not read back", arguments);
    return 0;
}
