#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <latch>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "log/OutputLog.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Cp932ToUtf8;
using testing_support::FixedClock;
using testing_support::ListFiles;
using testing_support::ReadFile;
using testing_support::RecordingMessageBoxes;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteFile;
using Boxes = std::vector<std::pair<std::string, std::string>>;

constexpr platform::LocalTime kTime{2026, 1, 2, 3, 4, 5, 45};
constexpr const char* kFileName = "log_20260102030405.csv";
constexpr const char* kStamp = "2026/01/02,03:04:05.045";

const std::pair<std::string, std::string> kNoAppData{"AppDataのパスの取得に失敗しました。",
                                                     "ディレクトリ操作エラー"};
const std::pair<std::string, std::string> kNoProductFolder{
    "ログフォルダ(AppData/QUAMBERPlayer)の作成に失敗しました。", "ディレクトリ操作エラー"};
const std::pair<std::string, std::string> kNoLogFolder{
    "ログフォルダ(AppData/QUAMBERPlayer/log)の作成に失敗しました。", "ディレクトリ操作エラー"};
const std::pair<std::string, std::string> kOpenFailed{"ログファイルのオープンに失敗しました。",
                                                      "ファイル操作エラー"};
const std::pair<std::string, std::string> kWriteFailed{"ログファイルの書き込みに失敗しました。",
                                                       "ファイル操作エラー"};

std::string Line(const std::string& source, int line, const std::string& message) {
    return std::string("DEBUG,") + kStamp + "," + source + "," + std::to_string(line) + "," +
           message + "\r\n";
}

// The application-data folder points into a fresh temporary folder for each test.
class OutputLogTest : public testing::Test {
protected:
    [[nodiscard]] std::string ProductFolder() const { return dir_ / "QUAMBERPlayer"; }
    [[nodiscard]] std::string LogFolder() const { return ProductFolder() + "/log"; }
    [[nodiscard]] std::string LogFile() const { return LogFolder() + "/" + kFileName; }

    TempDir dir_;
    ScopedEnv xdg_{"XDG_DATA_HOME", dir_.Path()};
    FixedClock clock_{kTime};
    RecordingMessageBoxes boxes_;
};

// ---------------------------------------------------------------------------------------------
// File name and folders.

struct NameCase {
    platform::LocalTime time;
    std::string expected;
};

class OutputLogFileName : public OutputLogTest, public testing::WithParamInterface<NameCase> {};

TEST_P(OutputLogFileName, CreatesEmptyFileNamedFromClock) {
    clock_.time = GetParam().time;
    const std::string expectedPath = LogFolder() + "/" + GetParam().expected;
    {
        OutputLog log(boxes_, clock_);
        EXPECT_TRUE(log.IsOpen());
        EXPECT_EQ(log.Path(), expectedPath);
    }
    EXPECT_EQ(ListFiles(LogFolder()), std::vector<std::string>{GetParam().expected});
    EXPECT_TRUE(fs::is_regular_file(expectedPath));
    EXPECT_EQ(fs::file_size(expectedPath), 0u);
    EXPECT_EQ(boxes_.Shown(), Boxes{});
}

INSTANTIATE_TEST_SUITE_P(
    Times, OutputLogFileName,
    testing::Values(NameCase{kTime, kFileName},
                    NameCase{{2025, 12, 31, 23, 59, 59, 999}, "log_20251231235959.csv"},
                    NameCase{{2030, 10, 9, 0, 0, 0, 0}, "log_20301009000000.csv"},
                    NameCase{{987, 6, 5, 4, 3, 2, 1}, "log_09870605040302.csv"}));

struct FolderCase {
    std::string name;
    std::function<void(const std::string& base)> prepare;
    std::string xdgBelowTemp;  // the application-data folder, below the temporary folder
    std::vector<std::string> productEntries;
    std::vector<std::string> logEntries;
};

class OutputLogFolders : public OutputLogTest, public testing::WithParamInterface<FolderCase> {};

TEST_P(OutputLogFolders, CreatesMissingFoldersQuietly) {
    const auto& c = GetParam();
    c.prepare(dir_.Path());
    const std::string appData = dir_.Path() + c.xdgBelowTemp;
    ScopedEnv xdg("XDG_DATA_HOME", appData);
    {
        OutputLog log(boxes_, clock_);
        EXPECT_TRUE(log.IsOpen());
        EXPECT_EQ(log.Path(), appData + "/QUAMBERPlayer/log/" + kFileName);
    }
    EXPECT_EQ(boxes_.Shown(), Boxes{});
    EXPECT_EQ(ListFiles(appData), std::vector<std::string>{"QUAMBERPlayer"});

    auto product = ListFiles(appData + "/QUAMBERPlayer");
    auto logs = ListFiles(appData + "/QUAMBERPlayer/log");
    std::sort(product.begin(), product.end());
    std::sort(logs.begin(), logs.end());
    EXPECT_EQ(product, c.productEntries);
    EXPECT_EQ(logs, c.logEntries);
    EXPECT_TRUE(fs::is_directory(appData + "/QUAMBERPlayer/log"));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, OutputLogFolders,
    testing::Values(
        FolderCase{"NoneExist", [](const std::string&) {}, "", {"log"}, {kFileName}},
        FolderCase{
            "AppDataFolderMissing", [](const std::string&) {}, "/new/share", {"log"}, {kFileName}},
        FolderCase{"ProductFolderExists",
                   [](const std::string& base) {
                       fs::create_directory(base + "/QUAMBERPlayer");
                       WriteFile(base + "/QUAMBERPlayer/settings.txt", "kept");
                   },
                   "",
                   {"log", "settings.txt"},
                   {kFileName}},
        FolderCase{"BothExist",
                   [](const std::string& base) {
                       fs::create_directories(base + "/QUAMBERPlayer/log");
                       WriteFile(base + "/QUAMBERPlayer/log/log_20251231235959.csv", "old");
                   },
                   "",
                   {"log"},
                   {"log_20251231235959.csv", kFileName}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// Line layout.

struct LineCase {
    std::string name;
    platform::LocalTime time;
    std::string source;
    int line;
    std::string message;
    std::string expected;  // code page 932 bytes
};

class OutputLogLine : public OutputLogTest, public testing::WithParamInterface<LineCase> {};

TEST_P(OutputLogLine, WritesExactBytes) {
    const auto& c = GetParam();
    OutputLog log(boxes_, clock_);
    clock_.time = c.time;  // the line takes the time of the call, not of the opening
    log.Log("DEBUG", c.source.c_str(), c.line, c.message);
    EXPECT_EQ(ReadFile(LogFile()), c.expected);
    EXPECT_EQ(boxes_.Shown(), Boxes{});
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, OutputLogLine,
    testing::Values(LineCase{"Padded", kTime, "File.cpp", 123, "message",
                             "DEBUG,2026/01/02,03:04:05.045,File.cpp,123,message\r\n"},
                    LineCase{"WidestFields",
                             {2025, 12, 31, 23, 59, 59, 999},
                             "KestruneDlg.cpp",
                             45678,
                             "x",
                             "DEBUG,2025/12/31,23:59:59.999,KestruneDlg.cpp,45678,x\r\n"},
                    LineCase{"Zeros",
                             {2026, 3, 4, 0, 0, 0, 0},
                             "A.cpp",
                             1,
                             "m",
                             "DEBUG,2026/03/04,00:00:00.000,A.cpp,1,m\r\n"},
                    LineCase{"ShortYearAndMilliseconds",
                             {987, 1, 1, 1, 1, 1, 7},
                             "B.cpp",
                             9,
                             "m",
                             "DEBUG,0987/01/01,01:01:01.007,B.cpp,9,m\r\n"},
                    LineCase{"CommasUnescaped", kTime, "File.cpp", 5, "a,b,\"c\"",
                             "DEBUG,2026/01/02,03:04:05.045,File.cpp,5,a,b,\"c\"\r\n"},
                    LineCase{"EmptyMessage", kTime, "File.cpp", 6, "",
                             "DEBUG,2026/01/02,03:04:05.045,File.cpp,6,\r\n"},
                    LineCase{"JapaneseInCp932", kTime, "File.cpp", 7, "ログ",
                             "DEBUG,2026/01/02,03:04:05.045,File.cpp,7,\x83\x8D\x83\x4F\r\n"},
                    LineCase{"UnmappableBecomesQuestionMark", kTime, "File.cpp", 8, "a😀b€c",
                             "DEBUG,2026/01/02,03:04:05.045,File.cpp,8,a?b?c\r\n"},
                    // A file name with line ends cannot start a line of its own.
                    LineCase{"LineEndsInAFieldBecomeSpaces", kTime, "File.cpp", 9,
                             "x.mp4\r\nDEBUG,2026/01/02,03:04:05.045,Forged.cpp,1,played\n",
                             "DEBUG,2026/01/02,03:04:05.045,File.cpp,9,x.mp4  DEBUG,2026/01/02,"
                             "03:04:05.045,Forged.cpp,1,played \r\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(OutputLogTest, JapaneseMessageRoundTripsThroughCp932) {
    const std::string message = "USBドングルへ停止コマンド送信";
    OutputLog log(boxes_, clock_);
    log.Log("DEBUG", "UsbDongle.cpp", 88, message);

    const std::string bytes = ReadFile(LogFile());
    EXPECT_EQ(bytes.find(message), std::string::npos) << "message was written as UTF-8";
    EXPECT_EQ(Cp932ToUtf8(bytes), Line("UsbDongle.cpp", 88, message));
}

TEST_F(OutputLogTest, MacroNamesCallingFileAndLine) {
    OutputLog log(boxes_, clock_);
    const int expectedLine = __LINE__ + 1;
    OUTPUT_LOG(log, "via macro");
    OUTPUT_LOG(log, std::string("second"));
    EXPECT_EQ(ReadFile(log.Path()), Line("OutputLogTest.cpp", expectedLine, "via macro") +
                                        Line("OutputLogTest.cpp", expectedLine + 1, "second"));
}

// ---------------------------------------------------------------------------------------------
// Failures while opening.

struct OpenFailureCase {
    std::string name;
    std::function<void(const std::string& base)> prepare;
    std::string xdgBelowTemp;
    std::string blockingFile;  // below the temporary folder; must keep its content
    Boxes expected;
};

class OutputLogOpenFailure : public OutputLogTest,
                             public testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OutputLogOpenFailure, ShowsEachFailureAndDropsLines) {
    const auto& c = GetParam();
    c.prepare(dir_.Path());
    ScopedEnv xdg("XDG_DATA_HOME", dir_.Path() + c.xdgBelowTemp);

    OutputLog log(boxes_, clock_);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(boxes_.Shown(), c.expected);

    log.Log("DEBUG", "File.cpp", 1, "dropped");
    OUTPUT_LOG(log, "dropped too");
    EXPECT_EQ(boxes_.Shown(), c.expected) << "a dropped line must not show anything";
    if (!c.blockingFile.empty()) {
        EXPECT_EQ(ReadFile(dir_ / c.blockingFile), "blocker");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blocked, OutputLogOpenFailure,
    testing::Values(OpenFailureCase{"AppDataIsFile",
                                    [](const std::string& base) {
                                        WriteFile(base + "/file-not-dir", "blocker");
                                    },
                                    "/file-not-dir",
                                    "file-not-dir",
                                    {kNoProductFolder, kNoLogFolder, kOpenFailed}},
                    OpenFailureCase{"ProductFolderIsFile",
                                    [](const std::string& base) {
                                        WriteFile(base + "/QUAMBERPlayer", "blocker");
                                    },
                                    "",
                                    "QUAMBERPlayer",
                                    {kNoProductFolder, kNoLogFolder, kOpenFailed}},
                    OpenFailureCase{"LogFolderIsFile",
                                    [](const std::string& base) {
                                        fs::create_directory(base + "/QUAMBERPlayer");
                                        WriteFile(base + "/QUAMBERPlayer/log", "blocker");
                                    },
                                    "",
                                    "QUAMBERPlayer/log",
                                    {kNoLogFolder, kOpenFailed}},
                    OpenFailureCase{"LogFileIsFolder",
                                    [](const std::string& base) {
                                        fs::create_directories(base + "/QUAMBERPlayer/log/" +
                                                               kFileName);
                                    },
                                    "",
                                    "",
                                    {kOpenFailed}}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// The log is private and opened safely.

// Sets the process's umask for the scope.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : previous_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(previous_); }
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    mode_t previous_;
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST_F(OutputLogTest, FoldersAndFileArePrivateWhateverTheUmask) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        fs::remove_all(ProductFolder());
        ScopedUmask umask(mask);
        OutputLog log(boxes_, clock_);
        ASSERT_TRUE(log.IsOpen());
        log.Log("DEBUG", "File.cpp", 1, "kept");
        EXPECT_EQ(ModeOf(ProductFolder()), 0700u);
        EXPECT_EQ(ModeOf(LogFolder()), 0700u);
        EXPECT_EQ(ModeOf(LogFile()), 0600u);
    }
    EXPECT_EQ(boxes_.Shown(), Boxes{});
}

// Folders and a log of the same second left readable to others by an earlier version.
TEST_F(OutputLogTest, FoldersAndFileLeftOpenToOthersBecomePrivate) {
    fs::create_directories(LogFolder());
    WriteFile(LogFile(), Line("Old.cpp", 1, "earlier"));
    for (const std::string& path : {ProductFolder(), LogFolder()}) ::chmod(path.c_str(), 0755);
    ::chmod(LogFile().c_str(), 0644);
    {
        OutputLog log(boxes_, clock_);
        ASSERT_TRUE(log.IsOpen());
        log.Log("DEBUG", "New.cpp", 2, "later");
    }
    EXPECT_EQ(ModeOf(ProductFolder()), 0700u);
    EXPECT_EQ(ModeOf(LogFolder()), 0700u);
    EXPECT_EQ(ModeOf(LogFile()), 0600u);
    EXPECT_EQ(ReadFile(LogFile()), Line("Old.cpp", 1, "earlier") + Line("New.cpp", 2, "later"));
}

// Something other than a regular file waits at the log's name: it is neither followed nor
// waited on, and the log reports that it cannot open its file.
struct PlantedCase {
    std::string name;
    std::function<void(const std::string& logFile, const std::string& elsewhere)> plant;
};

class OutputLogPlanted : public OutputLogTest, public testing::WithParamInterface<PlantedCase> {};

TEST_P(OutputLogPlanted, IsNotFollowedAndCountsAsAFileThatCannotBeOpened) {
    fs::create_directories(LogFolder());
    const std::string elsewhere = dir_ / "elsewhere.txt";
    WriteFile(elsewhere, "someone else's");
    GetParam().plant(LogFile(), elsewhere);

    // A named pipe opened for writing waits for a reader: run it where a hang shows.
    std::promise<bool> opened;
    auto result = opened.get_future();
    std::thread([&] {
        OutputLog log(boxes_, clock_);
        log.Log("DEBUG", "File.cpp", 1, "must go nowhere");
        opened.set_value(log.IsOpen());
    }).detach();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the open waited";
    EXPECT_FALSE(result.get());
    EXPECT_EQ(boxes_.Shown(), Boxes{kOpenFailed});
    EXPECT_EQ(ReadFile(elsewhere), "someone else's");
    EXPECT_NE(ModeOf(elsewhere), 0600u);
    EXPECT_FALSE(fs::exists(elsewhere + ".new"));
}

INSTANTIATE_TEST_SUITE_P(
    AtTheLogsName, OutputLogPlanted,
    testing::Values(PlantedCase{"SymbolicLinkToAFile",
                                [](const std::string& log, const std::string& elsewhere) {
                                    fs::create_symlink(elsewhere, log);
                                }},
                    PlantedCase{"SymbolicLinkToNothing",
                                [](const std::string& log, const std::string& elsewhere) {
                                    fs::create_symlink(elsewhere + ".new", log);
                                }},
                    PlantedCase{"NamedPipe",
                                [](const std::string& log, const std::string&) {
                                    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
                                }}),
    [](const auto& info) { return info.param.name; });

// Changes the working folder for the scope, so that relative paths land somewhere visible.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::string& path) : previous_(fs::current_path()) {
        fs::current_path(path);
    }
    ~ScopedWorkingDirectory() { fs::current_path(previous_); }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    fs::path previous_;
};

struct NoAppDataCase {
    std::string name;
    std::optional<std::string> xdg;
};

class OutputLogNoAppData : public OutputLogTest,
                           public testing::WithParamInterface<NoAppDataCase> {};

TEST_P(OutputLogNoAppData, ShowsAllFourBoxesAndCreatesNothing) {
    const bool rootHadFolder = fs::exists("/QUAMBERPlayer");
    TempDir cwd;
    ScopedWorkingDirectory inside(cwd.Path());
    ScopedEnv xdg("XDG_DATA_HOME", GetParam().xdg);
    ScopedEnv home("HOME", std::nullopt);

    OutputLog log(boxes_, clock_);
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(boxes_.Shown(), (Boxes{kNoAppData, kNoProductFolder, kNoLogFolder, kOpenFailed}));
    log.Log("DEBUG", "File.cpp", 1, "dropped");

    EXPECT_EQ(boxes_.Shown().size(), 4u);
    EXPECT_EQ(ListFiles(cwd.Path()), std::vector<std::string>{});
    EXPECT_EQ(ListFiles(dir_.Path()), std::vector<std::string>{});
    if (!rootHadFolder) {
        EXPECT_FALSE(fs::exists("/QUAMBERPlayer"));
    }
}

INSTANTIATE_TEST_SUITE_P(Environments, OutputLogNoAppData,
                         testing::Values(NoAppDataCase{"NeitherSet", std::nullopt},
                                         NoAppDataCase{"RelativeXdg", "relative/share"},
                                         NoAppDataCase{"EmptyXdg", ""}),
                         [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// A second log for the same second.

TEST_F(OutputLogTest, SecondLogInSameSecondRefusedThenAppends) {
    auto first = std::make_unique<OutputLog>(boxes_, clock_);
    ASSERT_TRUE(first->IsOpen());
    first->Log("DEBUG", "A.cpp", 1, "first");

    for (int attempt = 0; attempt < 2; ++attempt) {
        RecordingMessageBoxes refusedBoxes;
        OutputLog refused(refusedBoxes, clock_);
        EXPECT_FALSE(refused.IsOpen()) << "attempt " << attempt;
        EXPECT_EQ(refusedBoxes.Shown(), Boxes{kOpenFailed}) << "attempt " << attempt;
        refused.Log("DEBUG", "B.cpp", 2, "must not appear");
    }

    first->Log("DEBUG", "A.cpp", 3, "still first");
    first.reset();
    EXPECT_EQ(ReadFile(LogFile()), Line("A.cpp", 1, "first") + Line("A.cpp", 3, "still first"));

    OutputLog next(boxes_, clock_);
    EXPECT_TRUE(next.IsOpen());
    next.Log("DEBUG", "C.cpp", 4, "appended");
    EXPECT_EQ(ReadFile(LogFile()), Line("A.cpp", 1, "first") + Line("A.cpp", 3, "still first") +
                                       Line("C.cpp", 4, "appended"));
    EXPECT_EQ(boxes_.Shown(), Boxes{});
    EXPECT_EQ(ListFiles(LogFolder()), std::vector<std::string>{kFileName});
}

// ---------------------------------------------------------------------------------------------
// Two threads writing at once.

TEST_F(OutputLogTest, ConcurrentLinesNeverMix) {
    constexpr int kLinesPerThread = 10000;
    const std::string texts[2] = {"alpha ", "ベータ "};
    {
        OutputLog log(boxes_, clock_);
        std::latch start(2);
        std::vector<std::thread> threads;
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                for (int i = 0; i < kLinesPerThread; ++i) {
                    log.Log("DEBUG", "Worker.cpp", t + 1, texts[t] + std::to_string(i));
                }
            });
        }
        for (auto& thread : threads) thread.join();
    }
    EXPECT_EQ(boxes_.Shown(), Boxes{});

    const std::string content = Cp932ToUtf8(ReadFile(LogFile()));
    ASSERT_TRUE(content.ends_with("\r\n"));
    const std::string prefix = std::string("DEBUG,") + kStamp + ",Worker.cpp,";
    int next[2] = {0, 0};
    size_t lines = 0;
    for (size_t begin = 0; begin < content.size(); ++lines) {
        const size_t end = content.find("\r\n", begin);
        const std::string line = content.substr(begin, end - begin);
        begin = end + 2;

        ASSERT_TRUE(line.starts_with(prefix)) << "line " << lines << ": " << line;
        const std::string rest = line.substr(prefix.size());
        ASSERT_TRUE(rest.starts_with("1,") || rest.starts_with("2,"))
            << "line " << lines << ": " << line;
        const int t = rest[0] - '1';
        const std::string message = rest.substr(2);
        ASSERT_TRUE(message.starts_with(texts[t])) << "line " << lines << ": " << line;
        const std::string number = message.substr(texts[t].size());
        int sequence = -1;
        const auto [ptr, ec] =
            std::from_chars(number.data(), number.data() + number.size(), sequence);
        ASSERT_TRUE(ec == std::errc() && ptr == number.data() + number.size())
            << "line " << lines << ": " << line;
        ASSERT_EQ(sequence, next[t]) << "line " << lines << ": " << line;
        ++next[t];
    }
    EXPECT_EQ(lines, 2u * kLinesPerThread);
    EXPECT_EQ(next[0], kLinesPerThread);
    EXPECT_EQ(next[1], kLinesPerThread);
}

// ---------------------------------------------------------------------------------------------
// Write failures.

// Runs `scenario` in a forked child (so that process limits stay there) and fails the test
// with the scenario's complaint; an empty complaint means success.
void RunInChild(const std::function<std::string()>& scenario) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(fds[0]);
        const std::string complaint = scenario();
        if (!complaint.empty()) {
            [[maybe_unused]] const auto n = ::write(fds[1], complaint.data(), complaint.size());
        }
        ::_exit(complaint.empty() ? 0 : 1);
    }
    ::close(fds[1]);
    std::string complaint;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0) complaint.append(buffer, static_cast<size_t>(n));
        if (n < 0 && errno != EINTR) break;
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
    const int exitCode = WEXITSTATUS(status);
    EXPECT_EQ(exitCode, 0) << complaint;
}

// Limits the size of files this process may write; false when the limit cannot be set.
bool LimitFileSize(rlim_t bytes) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) return false;
    limit.rlim_cur = std::min(bytes, limit.rlim_max);
    return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// A line is written whole or not at all, and its failure is posted once per failing stretch.
TEST_F(OutputLogTest, WriteFailurePostedOncePerFailingStretch) {
    const std::string path = LogFile();
    RunInChild([&]() -> std::string {
        std::signal(SIGXFSZ, SIG_IGN);
        RecordingMessageBoxes boxes;
        OutputLog log(boxes, clock_);
        if (!log.IsOpen()) return "log did not open";
        const auto fileSize = [&] { return static_cast<rlim_t>(fs::file_size(path)); };
        const auto boxesAre = [&](const Boxes& expected, const char* when) -> std::string {
            // Posted: a failing line never holds up its writer with a modal box.
            if (boxes.Shown() == expected && boxes.Posted() == expected) return {};
            std::string shown;
            for (const auto& [text, caption] : boxes.Shown())
                shown += text + " / " + caption + "; ";
            return std::string(when) + ": expected " + std::to_string(expected.size()) +
                   " write-failure box(es), shown: " + shown;
        };

        log.Log("DEBUG", "W.cpp", 1, "before the limit");
        if (!LimitFileSize(fileSize())) return "cannot limit the file size";
        for (int i = 0; i < 5; ++i) log.Log("DEBUG", "W.cpp", 2, "lost");
        if (auto e = boxesAre({kWriteFailed}, "five failing writes"); !e.empty()) return e;

        if (!LimitFileSize(RLIM_INFINITY)) return "cannot lift the file size limit";
        log.Log("DEBUG", "W.cpp", 3, "between failures");
        log.Log("DEBUG", "W.cpp", 4, "between failures");
        if (auto e = boxesAre({kWriteFailed}, "writes succeeding again"); !e.empty()) return e;

        // Room for part of a line this time: the part written is taken back.
        if (!LimitFileSize(fileSize() + 10)) return "cannot limit the file size again";
        for (int i = 0; i < 3; ++i) log.Log("DEBUG", "W.cpp", 5, "lost again");
        if (auto e = boxesAre({kWriteFailed, kWriteFailed}, "second failing stretch"); !e.empty()) {
            return e;
        }

        const std::string expected = Line("W.cpp", 1, "before the limit") +
                                     Line("W.cpp", 3, "between failures") +
                                     Line("W.cpp", 4, "between failures");
        if (ReadFile(path) != expected) return "file holds:\n" + ReadFile(path);
        return {};
    });
}

}  // namespace
