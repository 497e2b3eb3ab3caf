// Checks a play file the way the player loads it: prints the loader's messages as the debug
// window shows them, then the accepted lines in playing order and their count.
// Usage: kestrune-playfile-check FILE. Exit status 0 when the file could be read, 1 when it
// could not be opened, 2 on wrong usage.

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "log/Logger.h"
#include "platform/LocalClock.h"
#include "sync/PlayScript.h"

namespace {

class StdoutLogger final : public Logger {
public:
    void LogMessage(const char* format, ...) override __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        const std::string text = FormatMessageV(format, args);
        va_end(args);
        std::printf("%s\n", FormatDebugLine(platform::SystemClock().Now(), text).c_str());
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrune-playfile-check FILE\n");
        return 2;
    }
    StdoutLogger logger;
    PlayScript script(&logger);
    if (!script.Load(argv[1])) return 1;
    for (const CSV_LINE& line : script.Lines()) {
        std::printf("%lld,%d,%d\n", static_cast<long long>(line.time), line.command >> 7,
                    line.command & 0x7F);
    }
    std::printf("%zu lines\n", script.Lines().size());
    return 0;
}
