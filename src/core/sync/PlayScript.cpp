#include "sync/PlayScript.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <string_view>

#include "log/Logger.h"
#include "platform/UniqueFd.h"

namespace {

// Read size for the play file. Lines are cut out of each chunk in place; only a line that
// crosses a chunk boundary is copied.
constexpr size_t kChunkSize = 64 * 1024;

// Player milliseconds to play-file tenths of a second.
int64_t ToTenths(int64_t ms) { return ms / kMsPerTenth; }

struct Digits {
    bool valid = false;
    uint64_t value = 0;  // saturates at the maximum instead of wrapping
};

// A non-empty run of ASCII digits, nothing else.
Digits ParseDigits(std::string_view field) {
    Digits result;
    if (field.empty()) return result;
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    for (const char c : field) {
        if (c < '0' || c > '9') return result;
        const auto digit = static_cast<uint64_t>(c - '0');
        result.value = result.value > (kMax - digit) / 10 ? kMax : result.value * 10 + digit;
    }
    result.valid = true;
    return result;
}

enum class LineKind { kSkipped, kNotNumeric, kBadDirection, kBadSpeed, kAccepted };

// Checks one line (without its line end). Only the first three comma-separated fields count.
LineKind ClassifyLine(std::string_view line, CSV_LINE& accepted) {
    const size_t firstComma = line.find(',');
    if (firstComma == std::string_view::npos) return LineKind::kSkipped;
    const size_t secondComma = line.find(',', firstComma + 1);
    if (secondComma == std::string_view::npos) return LineKind::kSkipped;
    const size_t thirdComma = line.find(',', secondComma + 1);
    const size_t speedEnd = thirdComma == std::string_view::npos ? line.size() : thirdComma;

    const Digits time = ParseDigits(line.substr(0, firstComma));
    const Digits direction = ParseDigits(line.substr(firstComma + 1, secondComma - firstComma - 1));
    const Digits speed = ParseDigits(line.substr(secondComma + 1, speedEnd - secondComma - 1));
    if (!time.valid || !direction.valid || !speed.valid ||
        time.value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return LineKind::kNotNumeric;
    }
    if (direction.value > 1) return LineKind::kBadDirection;
    if (speed.value > 100) return LineKind::kBadSpeed;
    accepted.time = static_cast<int64_t>(time.value);
    accepted.command = static_cast<uint8_t>(direction.value * 128 + speed.value);
    return LineKind::kAccepted;
}

// How reading a file ended.
enum class ReadEnd { kWhole, kTooLarge };

// Calls onLine(line, overlong) for every line of the open file: "\n" and "\r\n" end a line
// and are not part of it; a last line without a line end counts too. A line longer than
// kMaxPlayFileLineBytes is passed on empty with `overlong` set, so that memory stays bounded
// whatever the file holds. Reading stops after kMaxPlayFileBytes; a read error ends the file
// early.
template <typename OnLine>
ReadEnd ForEachLine(int fd, OnLine&& onLine) {
    std::vector<char> chunk(kChunkSize);
    std::string pending;  // the start of a line that crosses a chunk boundary
    bool overlong = false;
    int64_t total = 0;
    auto emit = [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (overlong || line.size() > kMaxPlayFileLineBytes) {
            onLine(std::string_view(), true);
        } else {
            onLine(line, false);
        }
        overlong = false;
    };
    // Keeps the part of a line that does not end in this chunk, up to the line limit (the
    // limit plus its "\r": the line end may still come).
    auto keep = [&](const char* begin, const char* end) {
        if (overlong) return;
        pending.append(begin, end);
        if (pending.size() > kMaxPlayFileLineBytes + 1) {
            overlong = true;
            pending.clear();
        }
    };
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += got;
        if (total > kMaxPlayFileBytes) return ReadEnd::kTooLarge;
        const char* begin = chunk.data();
        const char* const end = begin + got;
        while (const void* found = std::memchr(begin, '\n', static_cast<size_t>(end - begin))) {
            const char* lineEnd = static_cast<const char*>(found);
            if (pending.empty() && !overlong) {
                emit(std::string_view(begin, static_cast<size_t>(lineEnd - begin)));
            } else {
                keep(begin, lineEnd);
                emit(pending);
                pending.clear();
            }
            begin = lineEnd + 1;
        }
        keep(begin, end);
    }
    // No line end follows, so a trailing "\r" here is part of the line.
    if (overlong || pending.size() > kMaxPlayFileLineBytes) {
        onLine(std::string_view(), true);
    } else if (!pending.empty()) {
        onLine(std::string_view(pending), false);
    }
    return ReadEnd::kWhole;
}

// Opens a play file for reading, or -1. Only what can be read to an end is opened: a folder,
// a terminal, /dev/zero or a disk is refused before it is opened (opening a device may act on
// it) and again after. The open does not wait: a named pipe nobody writes to would block it,
// and the window with it, for good. Reads wait again, so a pipe that is being written (the
// shell's <(...)) is read to its end; one without a writer reads as empty.
int OpenReadable(const std::string& path, bool& tooLarge) {
    const auto readable = [&tooLarge](const struct stat& info) {
        if (S_ISDIR(info.st_mode) || S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
            return false;
        }
        tooLarge = S_ISREG(info.st_mode) && info.st_size > kMaxPlayFileBytes;
        return !tooLarge;
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !readable(info)) return -1;
    platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0 || !readable(info) ||
        ::fcntl(file.Get(), F_SETFL, 0) != 0) {
        return -1;
    }
    return file.Release();
}

}  // namespace

PlayScript::PlayScript(Logger* logger) : logger_(logger) {}

bool PlayScript::Load(const std::string& path) {
    lines_ = std::make_shared<const std::vector<CSV_LINE>>();
    bool tooLarge = false;
    // Whatever the file holds, the player goes on: a load that runs out of memory counts as
    // one that could not be read.
    try {
        if (ReadLines(path, tooLarge)) return true;
    } catch (const std::bad_alloc&) {
    }
    lines_ = std::make_shared<const std::vector<CSV_LINE>>();
    index_ = 0;
    LoadNext();
    if (logger_ != nullptr) {
        logger_->LogMessage("プレイファイル(%s)がオープンできません", path.c_str());
        if (tooLarge) {
            logger_->LogMessage("プレイファイルが大きすぎます (上限 %lldMB)",
                                static_cast<long long>(kMaxPlayFileBytes >> 20));
        }
    }
    return false;
}

bool PlayScript::ReadLines(const std::string& path, bool& tooLarge) {
    platform::UniqueFd file(OpenReadable(path, tooLarge));
    if (!file.Valid()) return false;

    std::vector<CSV_LINE> lines;
    long lineNumber = 0;
    long count = 0;
    const ReadEnd end = ForEachLine(file.Get(), [&](std::string_view line, bool overlong) {
        ++lineNumber;
        CSV_LINE accepted;
        switch (overlong ? LineKind::kNotNumeric : ClassifyLine(line, accepted)) {
            case LineKind::kSkipped:
                break;
            case LineKind::kNotNumeric:
                if (logger_ != nullptr) {
                    logger_->LogMessage("%ld行目に数値以外のデータが記載されています", lineNumber);
                }
                break;
            case LineKind::kBadDirection:
                if (logger_ != nullptr)
                    logger_->LogMessage("%ld行目の方向データが不正です", lineNumber);
                break;
            case LineKind::kBadSpeed:
                if (logger_ != nullptr) {
                    logger_->LogMessage("%ld行目の回転速度データが不正です", lineNumber);
                }
                break;
            case LineKind::kAccepted:
                lines.push_back(accepted);
                ++count;
                break;
        }
    });
    if (end == ReadEnd::kTooLarge) {
        tooLarge = true;
        return false;
    }

    const auto byTime = [](const CSV_LINE& a, const CSV_LINE& b) { return a.time < b.time; };
    if (!std::is_sorted(lines.begin(), lines.end(), byTime)) {
        std::stable_sort(lines.begin(), lines.end(), byTime);
    }
    lines_ = std::make_shared<const std::vector<CSV_LINE>>(std::move(lines));
    index_ = 0;
    LoadNext();

    if (logger_ != nullptr) {
        const std::filesystem::path name = std::filesystem::path(path).filename();
        logger_->LogMessage("プレイファイル(%s%s)から%ld行の読み込みが完了しました",
                            name.stem().c_str(), name.extension().c_str(), count);
    }
    return true;
}

bool PlayScript::LoadNext() {
    // A negative index compares as a huge one: past the end.
    const std::vector<CSV_LINE>& lines = *lines_;
    if (static_cast<size_t>(static_cast<uint32_t>(index_)) >= lines.size()) {
        next_.time = -1;
        return false;
    }
    next_ = lines[static_cast<size_t>(index_)];
    return true;
}

std::optional<CSV_LINE> PlayScript::Advance(int64_t t) {
    const int64_t cur = ToTenths(t);
    currentTime_ = cur;
    if (cur < previousTime_) {
        // The player went back: start again from the line in force there.
        Seek(t);
        previousTime_ = cur;
        return std::nullopt;
    }
    const bool atEnd = next_.time == -1;
    if (!atEnd && cur < next_.time) {
        previousTime_ = cur;
        return std::nullopt;
    }
    // More than 0.2 s since the last tick: the player jumped ahead, so skip to the line in
    // force now rather than sending everything in between.
    if (cur - previousTime_ > 2) Seek(t);
    const CSV_LINE due = next_;
    // Wraps instead of overflowing; LoadNext treats a negative index as past the end.
    index_ = static_cast<int32_t>(static_cast<uint32_t>(index_) + 1U);
    LoadNext();
    return due;
}

void PlayScript::Seek(int64_t t) {
    const int64_t cur = ToTenths(t);
    currentTime_ = cur;
    const std::vector<CSV_LINE>& lines = *lines_;
    if (lines.empty()) {
        index_ = 0;
        next_.time = -1;
        return;
    }
    auto found =
        std::lower_bound(lines.begin(), lines.end(), cur,
                         [](const CSV_LINE& line, int64_t time) { return line.time < time; });
    if (found == lines.end()) {
        // Past the last line: the end marker, carrying the last line's command.
        index_ = static_cast<int32_t>(lines.size());
        next_ = {-1, lines.back().command};
        return;
    }
    // Between two lines, the earlier one is in force unless the later one is only 0.2 s away.
    // (Written as time > cur + 2 so that huge times cannot overflow.)
    if (found->time > cur && found != lines.begin() && found->time > cur + 2) --found;
    index_ = static_cast<int32_t>(found - lines.begin());
    next_ = *found;
}
