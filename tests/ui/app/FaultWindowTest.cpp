// Faults and bad input met by the main window, built inside the test with the dongle on a
// pseudo-terminal: a device that stops reading, broken play files, ini files and videos. Each
// case checks what the user is shown (message boxes, the debug window, the title), that the
// window is not held up and goes on (a good file still plays and drives the device) and that
// the device is left stopped.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "device/UsbDongle.h"
#include "dialogs/DebugDlg.h"
#include "panels/TopDlg.h"
#include "player/PlaybackMath.h"
#include "support/FreshPty.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/UserAccess.h"
#include "sync/SyncDriver.h"
#include "ui/app/FaultCommon.h"
#include "ui/app/MainWindowFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using fault_tests::kMainTitle;
using fault_tests::kStopCommand;
using fault_tests::Media;
using testing_support::ReadFile;
using testing_support::SchedulerWaitMs;
using testing_support::ScopedUserFileAccess;
using testing_support::TempDir;
using testing_support::WaitFor;
using testing_support::WriteFile;

const std::string kDongleName = "usb-Kestrune_Virtual_Dongle-if00";

// `count` bytes that look like nothing in particular, the same on every run.
std::string RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// The main window with a dongle on a pseudo-terminal.

class FaultWindowTest : public MainWindowTest {
protected:
    FaultWindowTest() {
        EXPECT_FALSE(pty.path.empty());
        fs::create_directory(dir / "serial");
        fs::create_symlink(pty.path, dir / ("serial/" + kDongleName));
        WriteIni("[DEBUG]\nLOG_LEVEL=2\n[USB_DONGLE]\nDEVICE_NAME=Virtual_Dongle\n");
    }

    // Takes in all that was written to the port so far.
    void ReadBytes() {
        bytes += testing_support::ReadAllWritten(pty.master.Get(), pty.slave.Get());
    }

    // The command bytes of the whole packets received so far.
    std::string Received() {
        ReadBytes();
        std::string commands;
        for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
            EXPECT_EQ(bytes.substr(i, 2), "\x01\x01") << "a packet without its header";
            commands += bytes[i + 2];
        }
        return commands;
    }

    // Forgets what the device received so far.
    void Drain() {
        ReadBytes();
        bytes.clear();
    }

    [[nodiscard]] CDebugDlg& Debug() const {
        return *dynamic_cast<CDebugDlg*>(window->GetLogger());
    }

    // The newest line of the debug window without its time stamp.
    [[nodiscard]] std::string NewestDebugLine() const {
        const QString text = Debug().TextControl()->toPlainText();
        return text.section(QChar(u'\n'), 0, 0).mid(13).toStdString();
    }

    [[nodiscard]] QString Title() const { return window->TopPanel()->Title(); }

    bool WaitForState(PlayerState state, int ms = 30000) {
        return QTest::qWaitFor([&] { return window->Session().Player().GetState() == state; }, ms);
    }

    testing_support::ScopedEnv serialDir{"KESTRUNE_SERIAL_DIR", dir / "serial"};
    testing_support::RawPty pty = testing_support::OpenRawPty();
    std::string bytes;
};

// The longest time the user-interface thread kept a 10 ms timer waiting, less the time it spent
// ready to run but without a processor: on a busy machine the scheduler may hold any thread
// back for any time, while what the window must bound is what it does itself (a write that
// waits for the device, the pauses around a reconnect).
class StallMeter {
public:
    StallMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double waited = SchedulerWaitMs();
            const double held = static_cast<double>(clock_.restart()) - (waited - waited_);
            waited_ = waited;
            longest_ = std::max(longest_, static_cast<qint64>(held));
        });
        clock_.start();
        waited_ = SchedulerWaitMs();
        timer_.start(10);
    }
    [[nodiscard]] qint64 LongestMs() const { return longest_; }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    double waited_ = 0;
    qint64 longest_ = 0;
};

TEST_F(FaultWindowTest, ADeviceThatStopsReadingNeverHoldsTheWindow) {
    CKestruneDlg& dlg = OpenShown();
    ASSERT_EQ(dlg.Session().DeviceName(), "Virtual_Dongle");
    // A line every tenth of a second: a write is due on nearly every tick.
    std::string moves;
    for (int t = 0; t < 200; ++t)
        moves += std::to_string(t) + ",1," + std::to_string(t % 100) + "\n";
    WriteFile(dir / "moves.csv", moves);
    dlg.OpenVideoFile(QString::fromStdString(Media("clip.mp4")));
    dlg.OpenPlayFile(QString::fromStdString(dir / "moves.csv"));

    // The device stops reading: whatever it has not read fills the terminal's buffer.
    const int slave = pty.slave.Get();
    ASSERT_EQ(::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK), 0);
    // The kernel's worker moves what is written on into the master's line discipline, which
    // holds 4095 bytes (4096 less one); once that is full nothing moves any more, and a write
    // refused then stays refused.
    const std::string filler(4096, 'F');
    const auto fill = [&] {
        while (::write(slave, filler.data(), filler.size()) > 0) {
        }
        return errno == EAGAIN;
    };
    ASSERT_TRUE(fill());
    ASSERT_TRUE(WaitFor(
        [&] {
            int waiting = 0;
            return ::ioctl(pty.master.Get(), FIONREAD, &waiting) == 0 && waiting >= 4095;
        },
        20s));
    ASSERT_TRUE(fill());
    // A real port forgets its exclusive use at the player's last close; a pseudo-terminal keeps
    // it while its master is open, so it is dropped here as the virtual dongle does.
    QTimer exclusive;
    QObject::connect(&exclusive, &QTimer::timeout, [slave] { ::ioctl(slave, TIOCNXCL); });
    exclusive.start(5);

    StallMeter meter;
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    const int64_t startedAt = dlg.Session().Player().GetTime();
    // Playback goes on for two seconds while the writes time out, and each timed-out write
    // reconnects: the device is found again each time.
    const auto found = [&] {
        return Debug().TextControl()->toPlainText().count(QStringLiteral("利用デバイス : ") +
                                                          QString::fromStdString(kDongleName));
    };
    const bool wentOn = QTest::qWaitFor(
        [&] { return dlg.Session().Player().GetTime() - startedAt >= 2000 && found() >= 3; },
        30000);
    EXPECT_TRUE(wentOn) << "played " << dlg.Session().Player().GetTime() - startedAt
                        << " ms, found " << found() << " times";

    // The writes wait on the device thread: the window never waits a write's time-out.
    const qint64 bound = UsbDongle::kWriteTimeoutMs;
    EXPECT_LT(meter.LongestMs(), bound);
    EXPECT_TRUE(boxes.Shown().empty());

    // The user's pause gets through within two bounds, less what a busy machine kept this
    // process's threads (the window's and libvlc's) waiting for a processor meanwhile.
    QElapsedTimer pausing;
    pausing.start();
    const double waitedBeforePause = testing_support::ProcessSchedulerWaitMs(::getpid());
    emit dlg.BottomPanel()->Bar()->PauseClicked();
    ASSERT_TRUE(WaitForState(PlayerState::kPaused));
    EXPECT_LE(static_cast<double>(pausing.elapsed()) -
                  (testing_support::ProcessSchedulerWaitMs(::getpid()) - waitedBeforePause),
              2.0 * static_cast<double>(bound))
        << "the pause was held up";

    // The device reads again: playing moves it.
    Drain();
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const std::string got = Received();
            return std::any_of(got.begin(), got.end(), [](char c) { return c != kStopCommand; });
        },
        30000));
    EXPECT_LT(meter.LongestMs(), bound);
    dlg.close();
    const std::string got = Received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), kStopCommand);
}

// ---------------------------------------------------------------------------------------------
// Play files chosen through the open-play-file command.

// Runs the open-play-file command and answers its dialog with `path`. A dialog that does not
// take the answer (a folder opens in it instead) is cancelled after a while, as the user would;
// the folder it showed is returned then.
std::optional<QString> ChoosePlayFile(CKestruneDlg& dlg, const std::string& path) {
    FileDialogAnswer answer(QString::fromStdString(path));
    std::optional<QString> stayedIn;
    QElapsedTimer sinceAnswer;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!answer.answered || dialog == nullptr) return;
        if (!sinceAnswer.isValid()) sinceAnswer.start();
        if (sinceAnswer.elapsed() < 500) return;
        stayedIn = dialog->directory().absolutePath();
        dialog->reject();
    });
    cancel.start(50);
    emit dlg.BottomPanel()->Bar()->OpenPlayFileClicked();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return answer.answered && QApplication::activeModalWidget() == nullptr; }, 60000));
    return stayedIn;
}

struct PlayFileCase {
    const char* name;
    // Makes the file in `dir` and gives its path.
    std::function<std::string(const TempDir& dir)> make;
    // The debug window's newest line after the load; nullopt when the dialog does not take it.
    std::function<std::optional<std::string>(const std::string& path)> message;
    size_t lines = 0;
};

void PrintTo(const PlayFileCase& c, std::ostream* os) { *os << c.name; }

std::string Loaded(const std::string& name, size_t count) {
    return "プレイファイル(" + name + ")から" + std::to_string(count) +
           "行の読み込みが完了しました";
}

class PlayFileFault : public FaultWindowTest, public ::testing::WithParamInterface<PlayFileCase> {};

TEST_P(PlayFileFault, IsReportedInTheDebugWindowAndAGoodFileStillDrivesTheDevice) {
    const PlayFileCase& c = GetParam();
    CKestruneDlg& dlg = OpenShown();
    const std::string path = c.make(dir);
    const auto expected = c.message(path);
    std::optional<QString> stayedIn;
    QElapsedTimer took;
    took.start();
    const double waitedBefore = SchedulerWaitMs();
    {
        ScopedUserFileAccess user;
        stayedIn = ChoosePlayFile(dlg, path);
    }
    // What the window spent, less what a busy machine kept it waiting for a processor.
    const double loadMs = static_cast<double>(took.elapsed()) - (SchedulerWaitMs() - waitedBefore);
    EXPECT_TRUE(boxes.Shown().empty());
    if (expected) {
        EXPECT_FALSE(stayedIn) << "the dialog did not take the file";
        EXPECT_EQ(NewestDebugLine(), *expected);
        ASSERT_NE(dlg.Session().Sync().Lines(), nullptr);
        EXPECT_EQ(dlg.Session().Sync().Lines()->size(), c.lines);
    } else {
        ASSERT_TRUE(stayedIn);
        EXPECT_EQ(stayedIn->toStdString(), path);
        EXPECT_EQ(dlg.Session().Sync().Lines(), nullptr);
    }
    EXPECT_LE(loadMs, 15000) << "loading kept the window busy";

    WriteFile(dir / "good.csv", "0,1,77\n");
    EXPECT_FALSE(ChoosePlayFile(dlg, dir / "good.csv"));
    EXPECT_EQ(NewestDebugLine(), Loaded("good.csv", 1));
    dlg.OpenVideoFile(QString::fromStdString(Media("short.mp4")));
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Received().find('\xCD') != std::string::npos; }, 30000));
    dlg.close();
    ASSERT_FALSE(Received().empty());
    EXPECT_EQ(Received().back(), kStopCommand);
    EXPECT_TRUE(boxes.Shown().empty());
}

const PlayFileCase kPlayFileCases[] = {
    {"RandomBytes",
     [](const TempDir& d) {
         WriteFile(d / "random.csv", RandomBytes(1 << 20, 7));
         return d / "random.csv";
     },
     [](const std::string&) { return std::optional(Loaded("random.csv", 0)); }},
    {"MillionLines",
     [](const TempDir& d) {
         std::string content;
         content.reserve(16'000'000);
         for (int t = 0; t < 1'000'000; ++t) {
             content += std::to_string(t) + "," + std::to_string(t % 2) + "," +
                        std::to_string(t % 101) + "\n";
         }
         WriteFile(d / "million.csv", content);
         return d / "million.csv";
     },
     [](const std::string&) { return std::optional(Loaded("million.csv", 1'000'000)); }, 1'000'000},
    // A line that long is not a play file's: refused as non-numeric, and not kept.
    {"OneLineOf10MB",
     [](const TempDir& d) {
         WriteFile(d / "long.csv", "5,1,50," + std::string(10'000'000, 'x') + "\n");
         return d / "long.csv";
     },
     [](const std::string&) { return std::optional(Loaded("long.csv", 0)); }},
    {"Empty",
     [](const TempDir& d) {
         WriteFile(d / "empty.csv", "");
         return d / "empty.csv";
     },
     [](const std::string&) { return std::optional(Loaded("empty.csv", 0)); }},
    {"Folder",
     [](const TempDir& d) {
         fs::create_directory(d / "folder.csv");
         return d / "folder.csv";
     },
     [](const std::string&) { return std::optional<std::string>(); }},
    {"NoReadPermission",
     [](const TempDir& d) {
         WriteFile(d / "locked.csv", "10,1,50\n");
         fs::permissions(d / "locked.csv", fs::perms::none);
         return d / "locked.csv";
     },
     [](const std::string& path) {
         return std::optional("プレイファイル(" + path + ")がオープンできません");
     }},
};

INSTANTIATE_TEST_SUITE_P(Files, PlayFileFault, ::testing::ValuesIn(kPlayFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

// An exception that escapes a handler is caught at the event loop's edge: the device is
// stopped first, playback ends and the user is told; the player goes on and plays again.
TEST_F(FaultWindowTest, AnExceptionThatEscapesAHandlerStopsTheDeviceFirst) {
    CKestruneDlg& dlg = OpenShown();
    WriteFile(dir / "moves.csv", "0,1,77\n");
    dlg.OpenPlayFile(QString::fromStdString(dir / "moves.csv"));
    dlg.OpenVideoFile(QString::fromStdString(Media("clip.mp4")));
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Received().find('\xCD') != std::string::npos; }, 30000));
    Drain();

    class Throwing final : public QObject {
    public:
        bool event(QEvent* e) override {
            if (e->type() == QEvent::User) throw std::bad_alloc();
            return QObject::event(e);
        }
    } throwing;
    QCoreApplication::postEvent(&throwing, new QEvent(QEvent::User));
    ASSERT_TRUE(WaitForState(PlayerState::kStopped));
    EXPECT_EQ(Received(), std::string(1, kStopCommand));
    const auto error = std::pair<std::string, std::string>{"エラーが発生しました。", "エラー"};
    EXPECT_EQ(boxes.Posted(), std::vector{error});

    emit dlg.BottomPanel()->Bar()->PlayClicked();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Received().find('\xCD') != std::string::npos; }, 30000));
    dlg.close();
    EXPECT_EQ(Received().back(), kStopCommand);
}

// With LOG_LEVEL=2 every rejected line goes to the debug window. Put in one by one at the
// top of its 10,000-line document, 100,000 of them froze the window for 28 s under the
// sanitizers and a million for minutes; the window now takes a burst in one insertion.
TEST_F(FaultWindowTest, AMillionRejectedLinesDoNotFreezeTheWindow) {
    CKestruneDlg& dlg = OpenShown();
    std::string content;
    for (int i = 0; i < 1'000'000; ++i) content += "time,direction,speed\n";
    WriteFile(dir / "rejected.csv", content);
    QElapsedTimer took;
    took.start();
    const double waitedBefore = SchedulerWaitMs();
    EXPECT_FALSE(ChoosePlayFile(dlg, dir / "rejected.csv"));
    // What the window spent, less what a busy machine kept it waiting for a processor.
    EXPECT_LE(static_cast<double>(took.elapsed()) - (SchedulerWaitMs() - waitedBefore), 15000)
        << "loading kept the window busy";
    EXPECT_EQ(NewestDebugLine(), Loaded("rejected.csv", 0));
}

// ---------------------------------------------------------------------------------------------
// Ini files the reader has to make sense of.

struct IniCase {
    const char* name;
    std::function<std::string()> content;
    int logLevel;
    std::vector<std::string> deviceNames;
    platform::PortSettings port;
};

void PrintTo(const IniCase& c, std::ostream* os) { *os << c.name; }

class IniFault : public FaultWindowTest, public ::testing::WithParamInterface<IniCase> {};

TEST_P(IniFault, ThePlayerStartsWithWhatTheReaderRulesGive) {
    const IniCase& c = GetParam();
    WriteIni(c.content());
    CKestruneDlg& dlg = OpenShown();
    EXPECT_EQ(dlg.windowTitle().toStdString(), kMainTitle);
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(Debug().logLevel, c.logLevel);
    EXPECT_EQ(Debug().isVisible(), c.logLevel != 0);
    std::vector<std::string> names;
    platform::PortSettings port;
    dlg.Session().RunOnDevice([&](UsbDongle& dongle) {
        names = dongle.DeviceNames();
        port = dongle.GetPortSettings();
    });
    EXPECT_EQ(names, c.deviceNames);
    EXPECT_EQ(port.baudRate, c.port.baudRate);
    EXPECT_EQ(port.parity, c.port.parity);
    EXPECT_EQ(port.dataBits, c.port.dataBits);
    EXPECT_EQ(port.stopBits, c.port.stopBits);
    EXPECT_EQ(port.dtrControl, c.port.dtrControl);
    EXPECT_EQ(port.rtsControl, c.port.rtsControl);
    // With a name that matches, the dongle is found and takes the settings.
    const bool found = !c.deviceNames.empty();
    EXPECT_EQ(dlg.Session().DeviceName().empty(), !found);
    if (found) {
        dlg.Session().RunOnDevice([](UsbDongle& dongle) {
            dongle.OpenPort();
            EXPECT_TRUE(dongle.IsPortOpen());
            dongle.ClosePort();
        });
    }
}

const IniCase kIniCases[] = {
    {"RandomBytes", [] { return RandomBytes(64 * 1024, 11); }, 0, {}, {}},
    {"NamesInAnyCaseValuesAsWritten",
     [] {
         return std::string(
             "[debug]\nlog_level=2\n[Usb_Dongle]\nDevice_Name=Virtual_Dongle\n"
             "[com_port]\nbaud_rate=9600\nParity=2\ndata_bits=7\nSTOP_bits=2\n"
             "dtr_control=ENABLE\nRts_Control=enable\n");
     },
     2,
     {"Virtual_Dongle"},
     {9600, 2, 7, 2, 1, -1}},
    {"SavedAsUtf16OnWindows",
     [] {
         // Notepad's "Unicode": UTF-16 with its byte-order mark and CR LF. A device name in
         // single quotes and numbers in hexadecimal read as Windows reads them.
         const std::string text =
             "[DEBUG]\r\nLOG_LEVEL=0x1\r\n[USB_DONGLE]\r\nDEVICE_NAME='Virtual_Dongle'\r\n"
             "[COM_PORT]\r\nBAUD_RATE=0x2580\r\nPARITY=0b10\r\nDATA_BITS=0o7\r\n";
         std::string utf16 = "\xFF\xFE";
         for (const char c : text) utf16 += std::string{c, '\0'};
         return utf16;
     },
     1,
     {"Virtual_Dongle"},
     {9600, 2, 7, 255, -1, -1}},
    {"OneMegabyte",
     [] {
         // Half a megabyte of other keys, then a value of half a megabyte.
         std::string content = "[FILLER]\n";
         for (int i = 0; content.size() < (1 << 19); ++i) {
             content += "key" + std::to_string(i) + "=" + std::string(40, 'v') + "\n";
         }
         return content + "[DEBUG]\nLOG_LEVEL=1\n[USB_DONGLE]\nDEVICE_NAME=Virtual_Dongle," +
                std::string(1 << 19, 'x') + "\n";
     },
     1,
     // The value is cut to 255 characters before it is split.
     {"Virtual_Dongle", std::string(255 - 15, 'x')},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Files, IniFault, ::testing::ValuesIn(kIniCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Videos that are not, are cut short, or live at awkward paths, opened through the dialog.

// What the user gets on pressing play.
enum class Outcome {
    kPlays,
    kErrorBox,
    // libvlc takes the file for a stream with nothing in it and ends at once without an
    // error of its own; the window shows the same box.
    kEndsWithTheErrorBox,
    // A raw stream has no length: it plays to its end, and with repeat on starts again.
    kPlaysToTheEndAndRepeats,
};

struct VideoCase {
    const char* name;
    std::function<std::string(const TempDir& dir)> make;
    Outcome outcome;
};

void PrintTo(const VideoCase& c, std::ostream* os) { *os << c.name; }

class VideoFault : public FaultWindowTest, public ::testing::WithParamInterface<VideoCase> {
protected:
    void OpenThroughDialog(const std::string& path) {
        FileDialogAnswer answer(QString::fromStdString(path));
        emit window->BottomPanel()->Bar()->OpenVideoClicked();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return answer.answered && QApplication::activeModalWidget() == nullptr; },
            30000));
    }
};

TEST_P(VideoFault, ShowsTheErrorBoxOrPlaysAndTheWindowGoesOn) {
    const VideoCase& c = GetParam();
    CKestruneDlg& dlg = OpenShown();
    const std::string path = c.make(dir);
    const std::string name = fs::path(path).filename().string();
    OpenThroughDialog(path);
    EXPECT_EQ(Title().toStdString(), ShortenTitle(name));
    if (c.outcome == Outcome::kPlaysToTheEndAndRepeats)
        emit dlg.BottomPanel()->Bar()->RepeatClicked();
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    MediaPlayer& player = dlg.Session().Player();
    using Box = std::pair<std::string, std::string>;
    std::vector<Box> expectedBoxes;
    switch (c.outcome) {
        case Outcome::kPlays:
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    return player.GetState() == PlayerState::kPlaying && player.GetTime() > 500;
                },
                30000));
            break;
        case Outcome::kErrorBox:
            ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Shown().empty(); }, 30000));
            expectedBoxes = {
                {"メディアが再生できません。メディアを確認して下さい。", "再生エラー"}};
            break;
        case Outcome::kEndsWithTheErrorBox:
            // libvlc opens it, plays nothing and ends at once without a length.
            ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Shown().empty(); }, 30000));
            EXPECT_EQ(player.GetState(), PlayerState::kEnded);
            expectedBoxes = {
                {"メディアが再生できません。メディアを確認して下さい。", "再生エラー"}};
            break;
        case Outcome::kPlaysToTheEndAndRepeats: {
            const auto repeats = [&] {
                const auto lines = LogLines();
                return std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                    return line.ends_with(",リピート再生");
                });
            };
            ASSERT_TRUE(QTest::qWaitFor([&] { return repeats() >= 2; }, 60000))
                << boxes.Shown().size();
            ASSERT_TRUE(WaitForState(PlayerState::kPlaying));
            emit dlg.BottomPanel()->Bar()->RepeatClicked();
            break;
        }
    }
    // No further box: what else the player reports comes within this (a late one would only
    // make the check miss it, never fail it).
    QTest::qWait(300);
    EXPECT_EQ(boxes.Shown(), expectedBoxes);
    EXPECT_EQ(Title().toStdString(), ShortenTitle(name));
    EXPECT_TRUE(LogHas("動画ファイル選択：" + name));

    // Another video plays afterwards.
    OpenThroughDialog(Media("short.mp4"));
    EXPECT_EQ(Title(), QStringLiteral("short.mp4"));
    emit dlg.BottomPanel()->Bar()->PlayClicked();
    EXPECT_TRUE(WaitForState(PlayerState::kPlaying));
    EXPECT_EQ(boxes.Shown(), expectedBoxes);
}

const VideoCase kVideoCases[] = {
    {"NotAVideo", [](const TempDir&) { return Media("not-a-video.mp4"); }, Outcome::kErrorBox},
    {"CutInHalf",
     [](const TempDir& d) {
         const std::string whole = ReadFile(Media("clip.mp4"));
         // The index (moov) is at the end of the file: the half has none.
         WriteFile(d / "half.mp4", whole.substr(0, whole.size() / 2));
         return d / "half.mp4";
     },
     Outcome::kEndsWithTheErrorBox},
    {"JapaneseFolderAndSpaces",
     [](const TempDir& d) {
         fs::create_directories(d / "動画 テスト");
         fs::copy_file(Media("clip.mp4"), d / "動画 テスト/my clip.mp4");
         return d / "動画 テスト/my clip.mp4";
     },
     Outcome::kPlays},
    {"PathOf4000Bytes",
     [](const TempDir& d) {
         // Nested folders of 200 bytes, the last one sized to make the path 4,000 bytes.
         const std::string file = "/clip.mp4";
         std::string path = d.Path();
         while (4000 - path.size() - file.size() - 1 > 255) path += "/" + std::string(200, 'd');
         path += "/" + std::string(4000 - path.size() - file.size() - 1, 'e');
         fs::create_directories(path);
         path += file;
         fs::copy_file(Media("clip.mp4"), path);
         EXPECT_EQ(path.size(), 4000u);
         return path;
     },
     Outcome::kPlays},
    {"RawH264StreamWithAnAwkwardName",
     [](const TempDir& d) {
         fs::copy_file(Media("raw.h264"), d / "take #1 100%.h264");
         return d / "take #1 100%.h264";
     },
     Outcome::kPlaysToTheEndAndRepeats},
    {"RawMpeg2Stream", [](const TempDir&) { return Media("raw.m2v"); },
     Outcome::kPlaysToTheEndAndRepeats},
};

INSTANTIATE_TEST_SUITE_P(Videos, VideoFault, ::testing::ValuesIn(kVideoCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
