// kestrune-autoscript: drafts a play file from the camera's turning in a video (see
// AutoscriptArguments.h for the command line). Tells its progress on standard error: a line
// that updates itself on a terminal, a line every 10 % elsewhere; then a summary. Exit status
// 0 when the play file was written, 1 when the video could not be read or the file not
// written (nothing is written then), 2 on wrong usage.

#include "analysis/Autoscript.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "authoring/AutoscriptArguments.h"
#include "authoring/PlayFileNames.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string MinutesSeconds(int64_t us) {
    const int64_t s = us / 1000000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60),
                  static_cast<long long>(s % 60));
    return text;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char* argv[]) {
    const AutoscriptArguments arguments =
        ParseAutoscriptArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.help) {
        std::fputs(kAutoscriptUsage, stdout);
        return 0;
    }
    if (!arguments.error.empty()) {
        std::fprintf(stderr, "kestrune-autoscript: %s\n%s", arguments.error.c_str(),
                     kAutoscriptUsage);
        return 2;
    }
    const std::string output =
        arguments.output.empty() ? DraftPathFor(arguments.video) : arguments.output;
    if (!arguments.force && ::access(output.c_str(), F_OK) == 0) {
        std::fprintf(stderr, "kestrune-autoscript: %s exists (--force replaces it)\n",
                     output.c_str());
        return 1;
    }

    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point shown = start;
    int lastTenth = 0;
    const AutoscriptResult result =
        DraftPlayFile(arguments.video, arguments.options, [&](int64_t doneUs, int64_t totalUs) {
            if (totalUs <= 0) return true;
            const double share = std::min(1.0, static_cast<double>(doneUs) / totalUs);
            const double elapsed = SecondsSince(start);
            const auto left =
                static_cast<int64_t>(share > 0.01 ? elapsed * (1 - share) / share * 1e6 : 0);
            if (terminal && Clock::now() - shown >= std::chrono::milliseconds(200)) {
                shown = Clock::now();
                std::fprintf(stderr, "\r%3d%%  %s left ", static_cast<int>(share * 100),
                             MinutesSeconds(left).c_str());
            } else if (!terminal && static_cast<int>(share * 10) > lastTenth) {
                lastTenth = static_cast<int>(share * 10);
                std::fprintf(stderr, "%d%%  %s left\n", lastTenth * 10,
                             MinutesSeconds(left).c_str());
            }
            return true;
        });
    if (terminal) std::fputs("\r                    \r", stderr);
    if (!result.error.empty()) {
        std::fprintf(stderr, "kestrune-autoscript: %s\n", result.error.c_str());
        return 1;
    }
    std::string error;
    if (!SavePlayFile(output, result.lines, arguments.force, &error)) {
        std::fprintf(stderr, "kestrune-autoscript: %s\n", error.c_str());
        return 1;
    }
    const double elapsed = SecondsSince(start);
    std::fprintf(
        stderr,
        "kestrune-autoscript: %lld frames (%s) in %.1f s, %.1fx real time; %zu lines to %s\n",
        static_cast<long long>(result.frames), MinutesSeconds(result.durationUs).c_str(), elapsed,
        elapsed > 0 ? static_cast<double>(result.durationUs) / 1e6 / elapsed : 0.0,
        result.lines.size(), output.c_str());
    return 0;
}
