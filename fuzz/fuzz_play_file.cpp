// Play file loading: any bytes as a play file, then a short walk of the cursor over the result.

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ScratchFile.h"
#include "log/Logger.h"
#include "support/LinearCursor.h"
#include "sync/PlayScript.h"

namespace {

// Formats every message as the debug window would, and keeps only the count.
class CountingLogger : public Logger {
public:
    void LogMessage(const char* format, ...) override {
        va_list args;
        va_start(args, format);
        const std::string text = FormatMessageV(format, args);
        va_end(args);
        if (text.empty()) std::abort();
        ++messages;
    }
    size_t messages = 0;
};

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz_play_file: %s\n", what);
    std::abort();
}

bool SameLines(const std::vector<CSV_LINE>& a, const std::vector<CSV_LINE>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].time != b[i].time || a[i].command != b[i].command) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile file("kestrune-fuzz-play");
    const std::string& path = file.Write(data, size);

    PlayScript script(nullptr);
    Check(script.Load(path), "Load failed on a readable file");
    const std::vector<CSV_LINE>& lines = script.Lines();

    size_t lineEnds = 0;
    for (size_t i = 0; i < size; ++i) lineEnds += data[i] == '\n';
    Check(lines.size() <= lineEnds + 1, "more lines than the file has");
    for (size_t i = 0; i < lines.size(); ++i) {
        Check(lines[i].time >= 0, "negative time");
        Check((lines[i].command & 0x7F) <= 100, "speed above 100");
        Check(i == 0 || lines[i - 1].time <= lines[i].time, "lines not sorted by time");
    }
    Check(lines.empty() ? script.Next().time == -1 : script.Next().time == lines[0].time,
          "cursor not at the first line after loading");

    // The same file through a logger that formats every message: the same lines, and at most
    // one message per line plus the completion message.
    CountingLogger logger;
    PlayScript logged(&logger);
    Check(logged.Load(path), "Load failed with a logger");
    Check(SameLines(logged.Lines(), lines), "lines depend on the logger");
    Check(logger.messages >= 1 && logger.messages <= lineEnds + 2, "unexpected message count");

    // The same content again behind a filler line, placed so that the 64 KiB read boundary
    // falls inside it at a point chosen by the first byte: nothing may be split or lost there.
    constexpr size_t kChunk = 64 * 1024;
    const size_t split = size == 0 ? 0 : std::min(data[0] * size / 256, kChunk - 1);
    std::string shifted(kChunk - split - 1, 'x');
    shifted += '\n';
    shifted.append(reinterpret_cast<const char*>(data), size);
    PlayScript straddling(nullptr);
    Check(straddling.Load(
              file.Write(reinterpret_cast<const uint8_t*>(shifted.data()), shifted.size())),
          "Load failed behind the filler");
    Check(SameLines(straddling.Lines(), lines), "lines change across the read boundary");

    // Play through the first lines on the 40 ms grid, then jump to a few of them.
    const int64_t last = lines.empty() ? 0 : std::min<int64_t>(lines.back().time, 50);
    for (int64_t t = 0; t <= last * 100 + 400; t += 40) {
        if (const auto due = script.Advance(t)) {
            // A jump may send the following line up to 0.2 s early.
            Check(due->time == -1 || (due->time >= 0 && due->time <= t / 100 + 2),
                  "a line sent before its time");
        }
    }
    // Times beyond the ms clock's reach (up to INT64_MAX tenths) are kept: the seek goes to
    // the clock's last ms, where the cursor must agree with the plain reference.
    LinearCursor reference;
    reference.lines = lines;
    for (size_t i = 0; i < lines.size() && i < 8; ++i) {
        const int64_t time = lines[lines.size() - 1 - i].time;
        const int64_t ms = TenthsToMs(time);
        script.Seek(ms);
        reference.Seek(ms);
        Check(script.Next().time == reference.next.time && script.Index() == reference.index,
              "Seek disagrees with the reference");
        if (time <= INT64_MAX / kMsPerTenth) {
            Check(script.Next().time == time, "Seek to a line's time does not make it next");
        }
        const int64_t later = ms > INT64_MAX - 40 ? INT64_MAX : ms + 40;
        reference.previousTime = script.PreviousTime();
        const auto due = script.Advance(later);
        const auto expected = reference.Advance(later);
        Check(due.has_value() == expected.has_value() &&
                  (!due || (due->time == expected->time && due->command == expected->command)),
              "Advance disagrees with the reference");
    }
    return 0;
}
