#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "log/Logger.h"
#include "platform/UniqueFd.h"
#include "support/FreshPty.h"
#include "support/LinearCursor.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "sync/PlayScript.h"

using namespace std::string_literals;

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;
using Lines = std::vector<std::pair<int64_t, int>>;  // time, command

using testing_support::RecordingLogger;

std::string NotNumeric(long n) {
    return std::to_string(n) + "行目に数値以外のデータが記載されています";
}
std::string BadDirection(long n) { return std::to_string(n) + "行目の方向データが不正です"; }
std::string BadSpeed(long n) { return std::to_string(n) + "行目の回転速度データが不正です"; }
std::string Loaded(const std::string& name, size_t count) {
    return "プレイファイル(" + name + ")から" + std::to_string(count) +
           "行の読み込みが完了しました";
}

Lines Pairs(const std::vector<CSV_LINE>& lines) {
    Lines result;
    for (const CSV_LINE& line : lines) result.emplace_back(line.time, line.command);
    return result;
}

class PlayScriptTest : public testing::Test {
protected:
    bool Load(const std::string& content, const std::string& name = "play.csv") {
        WriteFile(dir / name, content);
        return script.Load(dir / name);
    }

    TempDir dir;
    RecordingLogger logger;
    PlayScript script{&logger};
};

// ---------------------------------------------------------------------------------------------
// Loading

struct LoadCase {
    const char* name;
    std::string content;
    std::vector<std::string> messages;  // before the completion message
    Lines lines;
};

class PlayScriptLoad : public PlayScriptTest, public testing::WithParamInterface<LoadCase> {};

TEST_P(PlayScriptLoad, ReportsRejectedLinesAndKeepsAcceptedOnes) {
    const LoadCase& c = GetParam();
    ASSERT_TRUE(Load(c.content));
    std::vector<std::string> expected = c.messages;
    expected.push_back(Loaded("play.csv", c.lines.size()));
    EXPECT_EQ(logger.messages, expected);
    EXPECT_EQ(Pairs(script.Lines()), c.lines);
}

constexpr int64_t kMaxTime = std::numeric_limits<int64_t>::max();

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Lines, PlayScriptLoad,
    testing::Values(
        LoadCase{"Extremes", "0,1,100\n5,0,0\n", {}, {{0, 0xE4}, {5, 0x00}}},
        LoadCase{"LeadingZeros", "007,01,050\n8,00,000\n", {}, {{7, 0xB2}, {8, 0}}},
        LoadCase{"ExtraFieldsIgnored", "12,1,50,extra,more\n13,0,1,\n", {}, {{12, 0xB2}, {13, 1}}},
        LoadCase{"Header", "time,direction,speed\n10,1,50\n", {NotNumeric(1)}, {{10, 0xB2}}},
        LoadCase{"ByteOrderMark", "\xEF\xBB\xBF" "10,1,50\r\n20,0,10\r\n", {NotNumeric(1)},
                 {{20, 10}}},
        LoadCase{"CrLfAndLf", "10,1,50\r\n20,0,10\n30,2,1\r\n", {BadDirection(3)},
                 {{10, 0xB2}, {20, 10}}},
        LoadCase{"LoneCrIsNoLineEnd", "10,1,50\r20,1,50\n30,1,50\r", {NotNumeric(1), NotNumeric(2)},
                 {}},
        LoadCase{"Blanks", "10, 1,50\n 11,1,50\n12,1,50 \n13,1,50 ,x\n",
                 {NotNumeric(1), NotNumeric(2), NotNumeric(3), NotNumeric(4)}, {}},
        LoadCase{"SignsAndPoints", "-10,1,50\n+10,1,50\n10.5,1,50\n10,1,5.0\n",
                 {NotNumeric(1), NotNumeric(2), NotNumeric(3), NotNumeric(4)}, {}},
        LoadCase{"EmptyFields", ",1,50\n10,,50\n10,1,\n10,1,,\n",
                 {NotNumeric(1), NotNumeric(2), NotNumeric(3), NotNumeric(4)}, {}},
        LoadCase{"NotNumericComesFirst", "12,x,999\n", {NotNumeric(1)}, {}},
        LoadCase{"Direction", "12,2,50\n12,99999999999,50\n12,99999999999,999\n",
                 {BadDirection(1), BadDirection(2), BadDirection(3)}, {}},
        LoadCase{"Speed", "12,1,101\n12,0,99999999999\n", {BadSpeed(1), BadSpeed(2)}, {}},
        LoadCase{"HugeTimes", "12345678901234567890,1,50\n9223372036854775808,1,50\n"
                              "9223372036854775807,1,50\n000000000000000000012,1,50\n",
                 {NotNumeric(1), NotNumeric(2)}, {{12, 0xB2}, {kMaxTime, 0xB2}}},
        LoadCase{"SkippedLinesAreCounted", "\n12,1\nabc\n,\n12,2,50\n", {BadDirection(5)}, {}},
        LoadCase{"ConsecutiveErrors", "a,b,c\n1,5,5\n1,1,500\n",
                 {NotNumeric(1), BadDirection(2), BadSpeed(3)}, {}},
        LoadCase{"LastLineWithoutLineEnd", "10,1,50\n20,3,60\n30,1,1", {BadDirection(2)},
                 {{10, 0xB2}, {30, 0x81}}},
        LoadCase{"BinaryGarbage", "\0\xff,\x01,\x80\n7,1,1\n"s, {NotNumeric(1)}, {{7, 0x81}}},
        LoadCase{"Empty", "", {}, {}},
        LoadCase{"HeaderOnly", "time,direction,speed\n", {NotNumeric(1)}, {}}),
    [](const testing::TestParamInfo<LoadCase>& info) { return info.param.name; });
// clang-format on

TEST_F(PlayScriptTest, SortsByTimeKeepingDuplicates) {
    ASSERT_TRUE(Load("30,1,3\n10,0,1\n20,1,2\n10,1,7\n"));
    Lines lines = Pairs(script.Lines());
    std::sort(lines.begin(), lines.begin() + 2);  // the order of equal times is free
    EXPECT_EQ(lines, (Lines{{10, 0x01}, {10, 0x87}, {20, 0x82}, {30, 0x83}}));
    EXPECT_EQ(script.Next().time, 10);
}

TEST_F(PlayScriptTest, ReportsFilesThatCannotBeOpened) {
    ASSERT_TRUE(Load("10,1,50\n"));
    for (const std::string& path : {dir / "missing.csv", dir.Path()}) {
        logger.messages.clear();
        EXPECT_FALSE(script.Load(path));
        EXPECT_EQ(logger.messages,
                  std::vector<std::string>{"プレイファイル(" + path + ")がオープンできません"});
        EXPECT_TRUE(script.Lines().empty());
    }
}

// A named pipe must not hang the loader: without a writer it reads as empty; with one, it is
// read to its end as the writer goes.
TEST_F(PlayScriptTest, NamedPipesAreReadWithoutWaitingForAWriter) {
    const std::string fifo = dir / "script.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(script.Load(fifo));
    EXPECT_TRUE(script.Lines().empty());

    // A writer holds the pipe open (read-write, so this open does not wait either) and
    // writes in two pieces; the second comes once the loader has taken the first, so that the
    // loader waits for it.
    platform::UniqueFd writer(::open(fifo.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(writer.Valid());
    bool loaded = false;
    std::thread loader([&] { loaded = script.Load(fifo); });
    ASSERT_EQ(::write(writer.Get(), "10,1,50\n", 8), 8);
    const bool taken = testing_support::WaitFor(
        [&] {
            int waiting = -1;
            return ::ioctl(writer.Get(), FIONREAD, &waiting) == 0 && waiting == 0;
        },
        std::chrono::seconds(20));
    EXPECT_TRUE(taken) << "the loader did not read the first piece";
    ASSERT_EQ(::write(writer.Get(), "20,0,30\n", 8), 8);
    writer.Reset();
    loader.join();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(script.Lines().size(), 2u);
}

TEST_F(PlayScriptTest, CompletionNamesTheFileWithoutFolders) {
    ::mkdir((dir / "take.2").c_str(), 0700);
    for (const std::string& name : {"take.2/demo.v2.csv"s, "take.2/noext"s}) {
        logger.messages.clear();
        ASSERT_TRUE(Load("1,0,1\n", name));
        EXPECT_EQ(logger.messages, std::vector<std::string>{Loaded(name.substr(7), 1)});
    }
}

// Lines whose "\r\n" straddles every power-of-two offset from 4 KiB to 1 MiB, between lines
// of filler, and one 10 MB line: whatever the read size, nothing may be split or lost.
TEST_F(PlayScriptTest, LongLinesAndReadBoundaries) {
    std::string content;
    Lines expected;
    // Lines of filler (without commas: skipped) that bring the content to `size` bytes.
    const auto fill = [&](size_t size) {
        while (content.size() < size) {
            const size_t n = std::min<size_t>(size - content.size(), kMaxPlayFileLineBytes);
            content += std::string(n - 1, 'x') + "\n";
        }
    };
    for (size_t boundary = 4096; boundary <= (1u << 20); boundary *= 2) {
        const std::string line = std::to_string(expected.size()) + ",0,50\r";
        fill(boundary - line.size());
        content += line + "\n";
        expected.emplace_back(static_cast<int64_t>(expected.size()), 50);
    }
    const long longLine = static_cast<long>(std::count(content.begin(), content.end(), '\n')) + 1;
    content += "1,1,1" + std::string(10'000'000, 'x') + "\n";
    ASSERT_TRUE(Load(content));
    EXPECT_EQ(logger.messages, (std::vector<std::string>{NotNumeric(longLine),
                                                         Loaded("play.csv", expected.size())}));
    EXPECT_EQ(Pairs(script.Lines()), expected);
}

// A line longer than kMaxPlayFileLineBytes is not kept, whatever it holds, and is reported as
// non-numeric; loading goes on with the next line. Here one fits exactly, and the long ones
// fall within a read, across the 64 KiB read boundary and at the end without a line end.
TEST_F(PlayScriptTest, OverlongLinesAreRejectedAndLoadingGoesOn) {
    const auto padded = [](const std::string& start, size_t size) {
        return start + std::string(size - start.size(), 'x');
    };
    std::string content = "1,0,1\n";
    content += padded("2,0,2,", kMaxPlayFileLineBytes) + "\r\n";    // line 2: fits
    content += padded("3,0,3,", kMaxPlayFileLineBytes + 1) + "\n";  // line 3: too long
    content += std::string(kMaxPlayFileLineBytes + 1, 'y') + "\n";  // line 4: too long
    content += "5,0,5\n";
    content += padded("6,0,6,", (64 << 10) - content.size() + 100) + "\n";  // line 6: across
    content += "7,0,7\n";
    content += padded("8,0,8,", 3 * kMaxPlayFileLineBytes);  // line 8: no line end
    ASSERT_TRUE(Load(content));
    EXPECT_EQ(logger.messages,
              (std::vector<std::string>{NotNumeric(3), NotNumeric(4), NotNumeric(6), NotNumeric(8),
                                        Loaded("play.csv", 4)}));
    EXPECT_EQ(Pairs(script.Lines()), (Lines{{1, 1}, {2, 2}, {5, 5}, {7, 7}}));
}

// Loads `path` on a thread of its own; nullopt when the load did not end within 120 s (it is
// left waiting: the test fails anyway).
std::optional<bool> LoadWithin(PlayScript& script, const std::string& path) {
    auto done = std::make_shared<std::promise<bool>>();
    auto result = done->get_future();
    std::thread([done, &script, path] { done->set_value(script.Load(path)); }).detach();
    if (result.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
        return std::nullopt;
    }
    return result.get();
}

std::string CannotOpen(const std::string& path) {
    return "プレイファイル(" + path + ")がオープンできません";
}
const std::string kTooLarge = "プレイファイルが大きすぎます (上限 64MB)";

// What cannot be read to an end is refused as a file that cannot be opened, before it is
// read: /dev/zero would fill the memory, a terminal would wait for input for good.
TEST_F(PlayScriptTest, DevicesAreRefusedWithoutBeingRead) {
    auto pty = testing_support::OpenFreshPty();
    ASSERT_FALSE(pty.path.empty());
    for (const std::string& path : {"/dev/zero"s, "/dev/null"s, pty.path}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(Load("10,1,50\n"));
        logger.messages.clear();
        const auto loaded = LoadWithin(script, path);
        ASSERT_TRUE(loaded) << "the load did not end";
        EXPECT_FALSE(*loaded);
        EXPECT_EQ(logger.messages, std::vector<std::string>{CannotOpen(path)});
        EXPECT_TRUE(script.Lines().empty());
        EXPECT_EQ(script.Next().time, -1);
    }
}

// A file of the limit's size is read (its one line of 64 MiB is too long); one byte more and
// it is refused unread, with a message that names the limit. A stream that goes on past the
// limit is refused once it has.
TEST_F(PlayScriptTest, FilesAndStreamsLargerThanTheLimitAreRefused) {
    const std::string path = dir / "large.csv";
    platform::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(file.Valid());
    ASSERT_EQ(::ftruncate(file.Get(), kMaxPlayFileBytes), 0);
    EXPECT_TRUE(script.Load(path));
    EXPECT_EQ(logger.messages, (std::vector<std::string>{NotNumeric(1), Loaded("large.csv", 0)}));

    ASSERT_EQ(::ftruncate(file.Get(), kMaxPlayFileBytes + 1), 0);
    logger.messages.clear();
    EXPECT_FALSE(script.Load(path));
    EXPECT_EQ(logger.messages, (std::vector<std::string>{CannotOpen(path), kTooLarge}));
    EXPECT_TRUE(script.Lines().empty());

    // Good lines, more of them than the limit holds, through a pipe. The holder keeps a reader
    // on the pipe, so that the feeder's first writes wait for the loader rather than fail;
    // closed after the load, it lets the feeder's last write fail.
    const std::string fifo = dir / "stream.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    platform::UniqueFd holder(::open(fifo.c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_TRUE(holder.Valid());
    std::thread feeder([&fifo] {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        const platform::UniqueFd out(::open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
        std::string block;
        for (int i = 0; i < 10000; ++i) block += std::to_string(i) + ",1,50\n";
        for (int64_t sent = 0; out.Valid() && sent <= 2 * kMaxPlayFileBytes;) {
            const ssize_t n = ::write(out.Get(), block.data(), block.size());
            if (n <= 0) return;
            sent += n;
        }
    });
    logger.messages.clear();
    const auto loaded = LoadWithin(script, fifo);
    holder.Reset();
    feeder.join();
    ASSERT_TRUE(loaded) << "the load did not end";
    EXPECT_FALSE(*loaded);
    EXPECT_EQ(logger.messages, (std::vector<std::string>{CannotOpen(fifo), kTooLarge}));
    EXPECT_TRUE(script.Lines().empty());
}

// ---------------------------------------------------------------------------------------------
// The cursor, on the worked examples. Lines are "time,0,n" for the n-th line.

struct Walk {
    int64_t from;
    int64_t to;  // inclusive
    bool seekFirst = false;
};

struct CursorCase {
    const char* name;
    std::vector<int64_t> times;
    std::vector<Walk> walks;
    std::vector<std::tuple<int64_t, int64_t, int>> sent;  // tick, line time, command
};

class PlayScriptCursor : public PlayScriptTest, public testing::WithParamInterface<CursorCase> {};

TEST_P(PlayScriptCursor, SendsLinesAtTheirTimes) {
    const CursorCase& c = GetParam();
    std::string content;
    for (size_t i = 0; i < c.times.size(); ++i) {
        content += std::to_string(c.times[i]) + ",0," + std::to_string(i) + "\n";
    }
    ASSERT_TRUE(Load(content));
    std::vector<std::tuple<int64_t, int64_t, int>> sent;
    for (const Walk& walk : c.walks) {
        if (walk.seekFirst) script.Seek(walk.from);
        // The first tick at `from`, then on the 40 ms grid.
        for (int64_t t = walk.from; t <= walk.to; t = (t / 40 + 1) * 40) {
            if (const auto line = script.Advance(t))
                sent.emplace_back(t, line->time, line->command);
        }
    }
    EXPECT_EQ(sent, c.sent);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Examples, PlayScriptCursor,
    testing::Values(
        CursorCase{"PlayFromStart", {10, 20, 30}, {{0, 3040}},
                   {{1000, 10, 0}, {2000, 20, 1}, {3000, 30, 2}, {3040, -1, 2}}},
        CursorCase{"JumpTo2500", {10, 20, 30}, {{0, 1200}, {2500, 3000}},
                   {{1000, 10, 0}, {2500, 20, 1}, {3000, 30, 2}}},
        // The last quiet tick stays the reference, so the jump's line is found again on every
        // tick until the player reaches it.
        CursorCase{"JumpTo2900", {10, 20, 30}, {{0, 1200}, {2900, 2960}},
                   {{1000, 10, 0}, {2900, 30, 2}, {2920, 30, 2}, {2960, 30, 2}}},
        CursorCase{"ResumeAt1500", {10, 20, 30}, {{1500, 1960, true}}, {{1500, 10, 0}}},
        CursorCase{"BackFrom3500To500", {10, 20, 30}, {{0, 2960}, {3500, 3500}, {500, 1000}},
                   {{1000, 10, 0}, {2000, 20, 1}, {3500, -1, 2}, {1000, 10, 0}}},
        CursorCase{"SameTimeTwice", {10, 10, 20}, {{0, 1080}}, {{1000, 10, 0}, {1040, 10, 1}}},
        CursorCase{"Empty", {}, {{0, 80}}, {{0, -1, 0}, {40, -1, 0}, {80, -1, 0}}}),
    [](const testing::TestParamInfo<CursorCase>& info) { return info.param.name; });
// clang-format on

// ---------------------------------------------------------------------------------------------
// The cursor against a plain reference: the same rules with a line-by-line Seek.

// Everything the cursor shows after a step, with the line it returned.
auto State(int32_t index, const CSV_LINE& next, int64_t currentTime, int64_t previousTime,
           const std::optional<CSV_LINE>& due) {
    return std::make_tuple(index, next.time, next.command, currentTime, previousTime,
                           due.has_value(), due ? due->time : 0, due ? due->command : 0);
}

TEST_F(PlayScriptTest, CursorMatchesLinearReferenceOnRandomWalks) {
    std::mt19937 random(20240611);
    auto uniform = [&random](int64_t low, int64_t high) {
        return std::uniform_int_distribution<int64_t>(low, high)(random);
    };
    for (int scriptNumber = 0; scriptNumber < 2000; ++scriptNumber) {
        Lines generated;
        const auto size = uniform(0, 50);
        for (int64_t i = 0; i < size; ++i) {
            const bool repeat = !generated.empty() && uniform(0, 1) == 0;
            const int64_t time =
                repeat ? generated[static_cast<size_t>(uniform(0, i - 1))].first : uniform(0, 100);
            generated.emplace_back(time, static_cast<int>(uniform(0, 1) * 128 + uniform(0, 100)));
        }
        std::string content;
        for (const auto& [time, command] : generated) {
            content += std::to_string(time) + "," + std::to_string(command >> 7) + "," +
                       std::to_string(command & 0x7F) + "\n";
        }
        PlayScript product(nullptr);
        WriteFile(dir / "random.csv", content);
        ASSERT_TRUE(product.Load(dir / "random.csv"));

        LinearCursor reference;
        reference.lines = product.Lines();  // same order among equal times
        reference.LoadNext();
        int64_t t = uniform(0, 1) == 0 ? 0 : uniform(-300, 11000);
        for (int step = 0; step < 200; ++step) {
            const auto kind = uniform(0, 99);
            std::optional<CSV_LINE> fromProduct, fromReference;
            if (kind < 5) {
                t = uniform(-300, 11000);
                product.Seek(t);
                reference.Seek(t);
            } else {
                if (kind < 85) {
                    t += uniform(0, 300);
                } else if (kind < 93) {
                    t = uniform(-300, 11000);
                } else {
                    t -= uniform(1, 500);
                }
                fromProduct = product.Advance(t);
                fromReference = reference.Advance(t);
            }
            ASSERT_EQ(State(product.Index(), product.Next(), product.CurrentTime(),
                            product.PreviousTime(), fromProduct),
                      State(reference.index, reference.next, reference.currentTime,
                            reference.previousTime, fromReference))
                << "script " << scriptNumber << ", step " << step << ", t " << t;
        }
    }
}

}  // namespace
