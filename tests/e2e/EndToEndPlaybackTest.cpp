// The player as its users meet it: the real Kestrune executable on a desktop of its own with
// the virtual dongle plugged in, driven only through its window: clicks on the bar's buttons
// where they are drawn, keys, the file dialogs and the menus. Each story checks what the
// dongle received and ends by reading the operation log line by line.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "dialogs/DriveSelectDlg.h"
#include "e2e/Desktop.h"
#include "log/OutputLog.h"
#include "panels/BottomDlg.h"
#include "panels/BottomMainDlg.h"
#include "panels/PanelGeometry.h"
#include "platform/LocalClock.h"
#include "player/PlaybackMath.h"
#include "support/Processes.h"
#include "support/SchedulerWaits.h"
#include "support/TestSupport.h"
#include "widgets/AlphaButton.h"

namespace {

using namespace std::chrono_literals;
using testing_support::DevSimProcess;
using testing_support::PlayerProcess;
using testing_support::SchedulerWaitMs;
using testing_support::TempDir;
using testing_support::WaitFor;
using Bar = CBottomMainDlg;

const std::string kMedia = KESTRUNE_TEST_MEDIA;
const std::string kDemo = kMedia + "/demo/demo.mp4";
const std::string kDemoPlayFile = kMedia + "/demo/demo.csv";
const QSize kScreen(1280, 1024);

struct Packet {
    double ms = 0;
    int direction = 0;
    int speed = 0;
    [[nodiscard]] bool IsStop() const { return direction == 0 && speed == 0; }
};

// What the virtual dongle recorded: "arrival_ms,byte0,byte1,byte2,direction,speed".
std::vector<Packet> ReadRecord(const std::string& path) {
    std::vector<Packet> packets;
    std::istringstream lines(testing_support::ReadFile(path));
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        Packet p;
        char b0[8], b1[8], b2[8];
        if (std::sscanf(line.c_str(), "%lf,%7[^,],%7[^,],%7[^,],%d,%d", &p.ms, b0, b1, b2,
                        &p.direction, &p.speed) == 6) {
            packets.push_back(p);
        }
    }
    return packets;
}

struct ScriptLine {
    int64_t ms = 0;
    int direction = 0;
    int speed = 0;
};

std::vector<ScriptLine> ReadScript(const std::string& path) {
    std::vector<ScriptLine> script;
    std::istringstream lines(testing_support::ReadFile(path));
    for (std::string line; std::getline(lines, line);) {
        long tenths = 0;
        ScriptLine s;
        if (std::sscanf(line.c_str(), "%ld,%d,%d", &tenths, &s.direction, &s.speed) == 3) {
            s.ms = tenths * 100;
            script.push_back(s);
        }
    }
    return script;
}

// Where the bar draws a control, relative to the bar, for a bar `width` pixels wide: the
// bar's own layout, run on a bar that is never shown. Kept per width and layout, as the
// stories click many times on the same bar.
QRect ControlRect(int id, int width, bool expanded) {
    static std::map<std::tuple<int, int, bool>, QRect> known;
    const auto key = std::make_tuple(id, width, expanded);
    if (const auto found = known.find(key); found != known.end()) return found->second;
    TempDir dir;
    testing_support::ScopedEnv data("XDG_DATA_HOME", dir / "share");
    testing_support::RecordingMessageBoxes boxes;
    platform::SystemLocalClock clock;
    OutputLog log(boxes, clock);
    QWidget mainStandIn;
    CBottomDlg host(&mainStandIn, log);
    if (!expanded) host.ToggleLayout();
    host.Bar()->ArrangeControls(width);
    return known[key] = host.Bar()->Control(id)->geometry();
}

// The folder/image button of the drive dialog, relative to the dialog.
QPoint DriveDialogOpenButtonCentre() {
    CDriveSelectDlg dialog;
    return dialog.OpenButton()->geometry().center();
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(desktop.Display().empty()) << "Xvfb did not start";
        devsim = std::make_unique<DevSimProcess>(std::vector<std::string>{
            "--dir", dir / "serial", "--record", dir / "packets.csv", "--epoch-ms"});
        ASSERT_TRUE(devsim->Started());
        ASSERT_FALSE(devsim->ExpectPlugged().link.empty());
    }

    // A failed story leaves a picture of its screen in the build folder.
    void TearDown() override {
        if (!HasFailure()) return;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string folder = std::string(KESTRUNE_BINARY_DIR) + "/e2e-failures";
        std::filesystem::create_directories(folder);
        std::string name = test->name();
        std::replace(name.begin(), name.end(), '/', '_');  // parameterised stories
        desktop.Screenshot(folder + "/" + name + ".png");
    }

    void StartPlayer() {
        player = std::make_unique<PlayerProcess>(
            dir, "[USB_DONGLE]\nDEVICE_NAME=Kestrune_Virtual_Dongle\n", std::vector<std::string>{},
            std::vector<std::string>{desktop.DisplayEnv(),
                                     "KESTRUNE_SERIAL_DIR=" + (dir / "serial")});
        ASSERT_GT(player->Pid(), 0);
        main = desktop.WaitWindow(player->Pid(), "QUAMBERPlayer", 60s);
        ASSERT_NE(main, 0u) << "the main window did not show";
        // The window has laid itself out and shown its panels once the bar is drawn.
        desktop.ParkPointer();
        ASSERT_TRUE(WaitFor([&] { return ButtonShowing(Bar::IDC_PLAY, 136) > 0.9; }, 30s))
            << "the bar did not show; stacking " << StackingText();
    }

    [[nodiscard]] pid_t Pid() const { return player->Pid(); }
    [[nodiscard]] QRect MainRect() const { return desktop.Geometry(main); }
    [[nodiscard]] bool FullScreen() const { return MainRect().size() == kScreen; }

    // Where a control of the bar is on the screen: the bar lies along the bottom of the main
    // window's own area (inside the window manager's frame).
    [[nodiscard]] QRect ControlOnScreen(int id) const {
        const QRect window = MainRect();
        const bool expanded = !FullScreen();
        const int height = expanded ? kBottomPanelExpandedHeight : kBottomPanelCompactHeight;
        return ControlRect(id, window.width(), expanded)
            .translated(window.x(), window.y() + window.height() - height);
    }

    // A point of a control of the bar on the screen, `across` its width from its left edge.
    [[nodiscard]] QPoint BarPoint(int id, double across = 0.5) const {
        const QRect control = ControlOnScreen(id);
        return {control.x() + static_cast<int>(control.width() * across), control.center().y()};
    }

    // The share of the opaque pixels of a button's normal picture that the screen shows as
    // drawn: 1 when the bar is on top, near 0 when something covers it.
    [[nodiscard]] double ButtonShowing(int id, int strip) const {
        const QImage frames =
            QImage(StripResourcePath(strip, "png")).convertToFormat(QImage::Format_ARGB32);
        const int frameHeight = frames.height() / CAlphaButton::kFrameCount;
        const QRect area = ControlOnScreen(id);
        const QImage screen =
            desktop.Grab(QRect(area.topLeft(), QSize(frames.width(), frameHeight)));
        int opaque = 0;
        int shown = 0;
        for (int y = 0; y < frameHeight && y < screen.height(); ++y) {
            for (int x = 0; x < frames.width() && x < screen.width(); ++x) {
                const QRgb drawn = frames.pixel(x, y);
                if (qAlpha(drawn) != 255) continue;
                ++opaque;
                const QRgb seen = screen.pixel(x, y);
                shown += std::abs(qRed(seen) - qRed(drawn)) <= 8 &&
                         std::abs(qGreen(seen) - qGreen(drawn)) <= 8 &&
                         std::abs(qBlue(seen) - qBlue(drawn)) <= 8;
            }
        }
        return opaque == 0 ? 0 : static_cast<double>(shown) / opaque;
    }

    // The player's windows from bottom to top, for failure messages.
    [[nodiscard]] std::string StackingText() const {
        std::ostringstream text;
        for (const unsigned long window : desktop.Stacking()) {
            text << std::hex << window << (window == main ? "(main" : "(") << std::dec
                 << (desktop.IsMinimised(window) ? ",hidden) " : ") ");
        }
        return text.str();
    }

    // The four playback buttons show on the screen as the bar draws them.
    void ExpectBarShowing(const std::string& when) const {
        desktop.ParkPointer();
        const std::pair<int, int> buttons[] = {{Bar::IDC_REWIND, 141},
                                               {Bar::IDC_PLAY, 136},
                                               {Bar::IDC_PAUSE, 138},
                                               {Bar::IDC_FORWARD, 142}};
        for (const auto& [id, strip] : buttons) {
            EXPECT_TRUE(WaitFor([&] { return ButtonShowing(id, strip) > 0.9; }, 30s))
                << "button " << id << " " << when << ": " << ButtonShowing(id, strip)
                << " of its picture shows; stacking " << StackingText();
        }
    }

    void Click(int id) const { desktop.Click(BarPoint(id)); }

    // Clicks what opens a pop-up menu and waits for the menu to show, clicking again as a user
    // would when a click did not take.
    [[nodiscard]] bool ClickOpensAMenu(QPoint at) const {
        for (int attempt = 0; attempt < 3; ++attempt) {
            desktop.Click(at);
            if (WaitFor([&] { return desktop.MenuShown(); }, 10s)) return true;
        }
        return false;
    }

    // Answers a file dialog as a user does: types the path into it and presses Enter. The
    // pointer is out of the way first: resting where the field's completion list shows, it
    // would pick an entry, and Enter would take that entry instead of closing the dialog. Keys
    // typed as the dialog comes up may go astray; the user then types the path again over what
    // the field holds.
    void AnswerFileDialog(const std::string& title, const std::string& path) {
        const unsigned long dialog = desktop.WaitWindow(Pid(), title, 30s);
        ASSERT_NE(dialog, 0u) << "no dialog " << title;
        desktop.ParkPointer();
        const auto closed = [&] { return desktop.Windows(Pid(), title).empty(); };
        for (int attempt = 0; attempt < 3 && !closed(); ++attempt) {
            if (attempt > 0) desktop.Keys(dialog, "ctrl+a");
            desktop.Type(dialog, path);
            desktop.Keys(dialog, "Return");
            if (WaitFor(closed, 10s)) break;
        }
        ASSERT_TRUE(WaitFor(closed, 30s)) << "the dialog " << title << " stayed open";
    }

    void OpenVideo(const std::string& path) {
        Click(Bar::IDC_OPEN_VIDEO);
        AnswerFileDialog("動画を開く", path);
        const std::string name = std::filesystem::path(path).filename();
        ASSERT_TRUE(WaitFor([&] { return LogHas("動画ファイル選択：" + name); }, 30s));
    }

    void OpenPlayFile(const std::string& path) {
        Click(Bar::IDC_OPEN_PLAYFILE);
        AnswerFileDialog("開く", path);
    }

    // Starts playback with the play button and waits for the device to be told.
    void Play() {
        const size_t before = Count("USBドングルへ再生コマンド送信");
        Click(Bar::IDC_PLAY);
        ASSERT_TRUE(WaitFor([&] { return Count("USBドングルへ再生コマンド送信") > before; }, 30s))
            << Log();
    }

    // The demo playing with a play file whose speeds tell the second (1 at 0 s).
    void PlayDemoWithSecondsPlayFile() {
        testing_support::WriteFile(dir / "seconds.csv", testing_support::LineEverySecond(61));
        StartPlayer();
        OpenVideo(kDemo);
        OpenPlayFile(dir / "seconds.csv");
        Play();
    }

    [[nodiscard]] std::vector<Packet> Packets() const { return ReadRecord(dir / "packets.csv"); }

    // Every packet the dongle got, once the player has ended: the dongle is ended too, having
    // read all that the player wrote, however late it got round to it.
    [[nodiscard]] std::vector<Packet> FinalPackets() const {
        devsim->Signal(SIGTERM);
        EXPECT_EQ(devsim->WaitExit(), 0);
        return Packets();
    }

    // Waits for a packet after the first `from` that satisfies `condition`; its index or -1.
    int WaitPacket(size_t from, const std::function<bool(const Packet&)>& condition,
                   std::chrono::milliseconds limit) const {
        int found = -1;
        WaitFor(
            [&] {
                const auto packets = Packets();
                for (size_t i = from; i < packets.size(); ++i) {
                    if (condition(packets[i])) {
                        found = static_cast<int>(i);
                        return true;
                    }
                }
                return false;
            },
            limit);
        return found;
    }

    [[nodiscard]] std::string Log() const { return testing_support::OperationLogText(dir); }

    // The message field of each operation-log line.
    [[nodiscard]] std::vector<std::string> LogMessages() const {
        std::vector<std::string> messages;
        const std::string text = Log();
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            size_t field = 0;
            for (int comma = 0; comma < 5 && field != std::string::npos; ++comma) {
                field = line.find(',', field);
                if (field != std::string::npos) ++field;
            }
            if (field != std::string::npos) messages.push_back(line.substr(field));
        }
        return messages;
    }

    // The time of the first operation-log line with `message`, in milliseconds since the epoch.
    [[nodiscard]] std::optional<int64_t> LogTimeMs(const std::string& message) const {
        const std::string text = Log();
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text.substr(start, end - start);
            std::tm t{};
            int ms = 0;
            if (!line.ends_with("," + message) ||
                std::sscanf(line.c_str(), "DEBUG,%d/%d/%d,%d:%d:%d.%d,", &t.tm_year, &t.tm_mon,
                            &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec, &ms) != 7) {
                continue;
            }
            t.tm_year -= 1900;
            t.tm_mon -= 1;
            t.tm_isdst = -1;
            return static_cast<int64_t>(std::mktime(&t)) * 1000 + ms;
        }
        return std::nullopt;
    }

    [[nodiscard]] size_t Count(const std::string& message) const {
        const auto messages = LogMessages();
        return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
    }
    [[nodiscard]] bool LogHas(const std::string& message, size_t times = 1) const {
        return Count(message) >= times;
    }

    // Every expected message appears in the log, in this order (other lines may come between).
    void ExpectLogInOrder(const std::vector<std::string>& expected) const {
        const auto messages = LogMessages();
        auto at = messages.begin();
        for (const auto& message : expected) {
            at = std::find(at, messages.end(), message);
            if (at == messages.end()) {
                ADD_FAILURE() << "the log lacks \"" << message << "\" (in this order):\n" << Log();
                return;
            }
            ++at;
        }
    }

    // Closes the window as a user does with the window's close box; the process ends.
    void CloseWindow() {
        desktop.RequestClose(main);
        EXPECT_EQ(player->WaitExit(30s), 0);
    }

    TempDir dir;
    e2e::Desktop desktop;
    std::unique_ptr<DevSimProcess> devsim;
    std::unique_ptr<PlayerProcess> player;
    unsigned long main = 0;
};

// The script's packets arrive in order and in time, between stop packets only. How late a
// packet may come allows for the time the scheduler kept the player or the dongle waiting for a
// processor then (SchedulerWaits): on a busy machine that can be any time.
TEST_F(EndToEnd, TheDemoPlaysToTheEndAndTheDongleGetsEveryLineOfItsPlayFileInTime) {
    const auto script = ReadScript(kDemoPlayFile);
    ASSERT_GT(script.size(), 10u);
    StartPlayer();
    testing_support::SchedulerWaits waits({Pid(), devsim->Pid()});
    OpenVideo(kDemo);
    OpenPlayFile(kDemoPlayFile);
    const double startWaited = testing_support::ProcessSchedulerWaitMs(Pid());
    Play();
    // Until the first moving line the clock has started: what the scheduler kept libvlc's
    // threads from while they set up the video is allowed for in how soon that was.
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed != 0 || p.direction != 0; }, 30s),
              0);
    const double startupWait = testing_support::ProcessSchedulerWaitMs(Pid()) - startWaited;
    ASSERT_TRUE(WaitFor([&] { return LogHas("MediaPlayerEndReached"); }, 120s)) << Log();
    ASSERT_TRUE(WaitFor([&] { return Count("USBドングルへ停止コマンド送信") >= 1; }, 30s));
    CloseWindow();

    const auto packets = FinalPackets();
    // Stop packets, then the script line by line, then stop packets again. The script opens
    // with stop lines too: its first moving line tells where it starts.
    const auto moving = [](const auto& x) { return x.speed != 0 || x.direction != 0; };
    const auto firstMovingLine =
        std::find_if(script.begin(), script.end(), moving) - script.begin();
    const auto firstMovingPacket =
        std::find_if(packets.begin(), packets.end(), moving) - packets.begin();
    ASSERT_GE(firstMovingPacket, firstMovingLine);
    const auto first = static_cast<size_t>(firstMovingPacket - firstMovingLine);
    ASSERT_GE(packets.size(), first + script.size());
    // The first line goes out when playback starts, before libvlc has shown a picture; every
    // later line is sent on the video's clock, so all of them are equally late, give or take
    // a tick or two and what the scheduler held back.
    std::vector<double> lateness;
    std::vector<double> held;
    for (size_t i = 0; i < script.size(); ++i) {
        const Packet& p = packets[first + i];
        EXPECT_EQ(p.direction, script[i].direction) << "line " << i + 1;
        EXPECT_EQ(p.speed, script[i].speed) << "line " << i + 1;
        if (i > 0) {
            lateness.push_back(p.ms - static_cast<double>(script[i].ms));
            held.push_back(waits.Between(p.ms - 1000, p.ms));
        }
    }
    const auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    const double typical = median(lateness);
    const double typicallyHeld = median(held);
    for (size_t i = 0; i < lateness.size(); ++i) {
        EXPECT_LT(std::abs(lateness[i] - typical), 150.0 + held[i] + typicallyHeld)
            << "line " << i + 2 << " off by " << lateness[i] - typical << " ms, " << held[i]
            << " ms held back";
    }
    // And the clock started with the video: soon after the first line (slower under the
    // sanitizers).
    EXPECT_LT(typical - packets[first].ms, 2000.0 + startupWait) << startupWait << " ms held back";
    for (size_t i = first + script.size(); i < packets.size(); ++i) {
        EXPECT_TRUE(packets[i].IsStop()) << "packet " << i << " after the last line";
    }
    ASSERT_FALSE(packets.empty());
    EXPECT_TRUE(packets.back().IsStop());

    ExpectLogInOrder({"動画選択ボタンクリック", "動画ファイル選択：demo.mp4",
                      "CSV選択ボタンクリック", "再生ボタンクリック", "MediaPlayerPlaying",
                      "USBドングルへ再生コマンド送信", "MediaPlayerEndReached",
                      "USBドングルへ停止コマンド送信", "USBドングルへ停止コマンド送信"});
}

TEST_F(EndToEnd, PauseStopsTheDeviceAndPlaySendsTheLineInForce) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 4; }, 30s),
              0);

    Click(Bar::IDC_PAUSE);
    // Lines sent before the pause took effect come before its stop packet; nothing after it.
    const size_t sent = Packets().size();
    const int stop = WaitPacket(
        sent - 1, [](const Packet& p) { return p.IsStop(); }, 30s);
    ASSERT_GE(stop, 0) << "no stop packet on pause";
    const auto beforePause = Packets();
    int last = 0;
    for (int i = 0; i < stop; ++i) last = beforePause[static_cast<size_t>(i)].speed;
    // Paused, the device hears nothing.
    std::this_thread::sleep_for(1500ms);
    const size_t paused = Packets().size();
    EXPECT_EQ(paused, static_cast<size_t>(stop) + 1);

    Play();
    const int resumed = WaitPacket(
        paused, [](const Packet& p) { return !p.IsStop(); }, 30s);
    ASSERT_GE(resumed, 0);
    const int speed = Packets()[static_cast<size_t>(resumed)].speed;
    // The line in force where the video paused: the last one sent, or the next when the pause
    // fell between a line's time and the tick that sends it.
    EXPECT_TRUE(speed == last || speed == last + 1) << speed << " after " << last;

    CloseWindow();
    ExpectLogInOrder({"再生ボタンクリック", "USBドングルへ再生コマンド送信",
                      "一時停止ボタンクリック", "MediaPlayerPaused",
                      "USBドングルへ一時停止コマンド送信", "再生ボタンクリック",
                      "USBドングルへ再生コマンド送信", "USBドングルへ停止コマンド送信"});
}

TEST_F(EndToEnd, ASeekWithTheSliderStopsTheDeviceThenSendsTheLineInForce) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 2; }, 30s),
              0);

    const size_t before = Packets().size();
    desktop.Click(BarPoint(Bar::IDC_SEEK_SLIDER, 0.75));
    const int stop = WaitPacket(
        before, [](const Packet& p) { return p.IsStop(); }, 30s);
    ASSERT_GE(stop, 0) << "no stop packet on the seek";
    const int next = WaitPacket(
        static_cast<size_t>(stop) + 1, [](const Packet& p) { return !p.IsStop(); }, 30s);
    ASSERT_GE(next, 0);
    // Three quarters along the slider's 60 s, give or take its margins.
    const int second = Packets()[static_cast<size_t>(next)].speed - 1;
    EXPECT_GE(second, 38);
    EXPECT_LE(second, 50);

    CloseWindow();
    ExpectLogInOrder({"再生ボタンクリック", "USBドングルへ再生コマンド送信",
                      "メディアスライダー移動", "USBドングルへ停止コマンド送信"});
}

// The user holds fast forward for 4 s; the window steps every 200 ms, 1 s a step for the first
// 3 s and 2 s a step after (twenty steps: 25 s). How many steps a busy machine lets the window
// take in that time varies, so the story bounds where playback went by the steps the hold can
// have held: one per 200 ms of the hold as the window logged it (and one between the release
// and its handling), less those the scheduler may have cost by keeping the window's thread
// waiting for a processor (each such stretch the step due in it and the next one's start).
TEST_F(EndToEnd, HoldingFastForwardForFourSecondsMovesAsTheStepsSay) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 3; }, 30s),
              0);
    // The hold starts at or after the last line the device got.
    int from = 0;
    for (const Packet& p : Packets()) {
        if (!p.IsStop()) from = p.speed - 1;
    }
    const int64_t seenMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    const double waitedBefore = SchedulerWaitMs(Pid());

    desktop.Press(BarPoint(Bar::IDC_FORWARD));
    ASSERT_TRUE(WaitFor([&] { return LogHas("早送りボタン押下中"); }, 30s));
    std::this_thread::sleep_for(4s);
    const size_t held = Packets().size();
    desktop.Release();
    const int resumed = WaitPacket(
        held, [](const Packet& p) { return !p.IsStop(); }, 30s);
    ASSERT_GE(resumed, 0);
    const double waited = SchedulerWaitMs(Pid()) - waitedBefore;
    const int moved = Packets()[static_cast<size_t>(resumed)].speed - 1 - from;

    const auto pressed = LogTimeMs("早送りボタン押下中");
    const auto released = LogTimeMs("早送りボタン押下終了");
    ASSERT_TRUE(pressed && released) << Log();
    const int64_t holdMs = *released - *pressed;
    const auto stepsMove = [](int64_t steps) {  // in whole seconds
        int64_t at = 0;
        for (int64_t step = 1; step <= steps; ++step) at += HoldStep(200 * step);
        return static_cast<int>(at / 1000);
    };
    const int64_t most = (holdMs + 10) / 200 + 1;
    const int64_t least =
        std::max<int64_t>(1, (holdMs - 2 * static_cast<int64_t>(waited) - 50) / 200);
    // The line in force where the steps went: the hold began at most a second past `from`,
    // plus the time from when that line was seen to the press.
    const int64_t pressLagS = std::max<int64_t>(0, *pressed - seenMs) / 1000;
    EXPECT_GE(moved, stepsMove(least)) << "from " << from << ", held " << holdMs << " ms, "
                                       << waited << " ms of it waiting for a processor";
    EXPECT_LE(moved, stepsMove(most) + 2 + pressLagS)
        << "from " << from << ", held " << holdMs << " ms";

    CloseWindow();
    ExpectLogInOrder({"再生ボタンクリック", "早送りボタン押下中", "MediaPlayerPaused",
                      "早送りボタン押下終了", "USBドングルへ再生コマンド送信"});
}

TEST_F(EndToEnd, WithRepeatOnTheVideoStartsAgainAndSoDoesTheScript) {
    testing_support::WriteFile(dir / "short.csv", "0,0,10\n5,1,20\n10,0,30\n15,1,40\n");
    StartPlayer();
    Click(Bar::IDC_REPEAT);
    OpenVideo(kMedia + "/short.mp4");
    OpenPlayFile(dir / "short.csv");
    Play();
    ASSERT_TRUE(WaitFor([&] { return Count("リピート再生") >= 2; }, 60s)) << Log();
    CloseWindow();

    // Each loop sends the script from its first line.
    std::vector<int> speeds;
    for (const Packet& p : FinalPackets()) {
        if (!p.IsStop()) speeds.push_back(p.speed);
    }
    ASSERT_GE(speeds.size(), 8u);
    const std::vector<int> loop = {10, 20, 30, 40};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(speeds[i], loop[i % 4]) << "packet " << i;
    ExpectLogInOrder({"リピートボタンクリック", "再生ボタンクリック",
                      "USBドングルへ再生コマンド送信", "MediaPlayerEndReached", "リピート再生",
                      "USBドングルへ再生コマンド送信", "MediaPlayerEndReached", "リピート再生"});
}

// On a desktop, the bar stays above the video whatever the window manager does with the main
// window, and its buttons work: full screen by the bar's button and back with Escape is one of
// those turns, and the bar's pause works at its window-mode place after it.
TEST_F(EndToEnd, TheBarStaysAboveTheVideoWhenTheWindowIsClickedRestoredOrSwitched) {
    StartPlayer();
    ExpectBarShowing("at start-up");
    OpenVideo(kDemo);
    Play();
    ExpectBarShowing("playing");

    desktop.Click(MainRect().center());
    ExpectBarShowing("after a click on the video");

    desktop.Minimise(main);
    ASSERT_TRUE(WaitFor([&] { return desktop.IsMinimised(main); }, 30s)) << "not minimised";
    desktop.Activate(main);
    ASSERT_TRUE(WaitFor([&] { return !desktop.IsMinimised(main); }, 30s)) << "not restored";
    ExpectBarShowing("after minimise and restore");

    const QRect window = MainRect();
    ASSERT_NE(window.size(), kScreen);
    Click(Bar::IDC_MAXIMIZE);
    ASSERT_TRUE(WaitFor([&] { return FullScreen(); }, 30s)) << "not full screen";
    ExpectBarShowing("in full screen");
    desktop.Keys(main, "Escape");
    ASSERT_TRUE(WaitFor([&] { return MainRect() == window; }, 30s))
        << "not back: " << MainRect().width() << "x" << MainRect().height();
    ExpectBarShowing("after full screen and back");

    Click(Bar::IDC_PAUSE);
    ASSERT_TRUE(WaitFor([&] { return LogHas("USBドングルへ一時停止コマンド送信"); }, 30s));
    Play();
    CloseWindow();
    ExpectLogInOrder({"再生ボタンクリック", "USBドングルへ再生コマンド送信", "最大化ボタンクリック",
                      "最大化ボタンクリック", "一時停止ボタンクリック",
                      "USBドングルへ一時停止コマンド送信", "再生ボタンクリック",
                      "USBドングルへ再生コマンド送信"});
}

// The frame's maximise box leads to full screen as the bar's button does; Escape goes back to
// the size the window had before it was maximised.
TEST_F(EndToEnd, TheMaximiseBoxGoesToFullScreenAndEscapeBackToTheSizeBefore) {
    StartPlayer();
    OpenVideo(kDemo);
    const QRect window = MainRect();
    desktop.Maximise(main);
    ASSERT_TRUE(WaitFor([&] { return FullScreen(); }, 30s)) << "not full screen";
    ExpectBarShowing("in full screen");
    desktop.Keys(main, "Escape");
    ASSERT_TRUE(WaitFor([&] { return MainRect() == window; }, 30s))
        << "back at " << MainRect().x() << "," << MainRect().y() << " " << MainRect().width() << "x"
        << MainRect().height() << ", not " << window.x() << "," << window.y() << " "
        << window.width() << "x" << window.height();
    ExpectBarShowing("back from full screen");
    CloseWindow();
}

TEST_F(EndToEnd, ADvdFolderFromTheDriveDialogAndAChapterFromTheMenu) {
    const std::string dvd = kMedia + "/dvd";
    testing_support::WriteFile(dir / "seconds.csv", testing_support::LineEverySecond(41));
    StartPlayer();
    OpenPlayFile(dir / "seconds.csv");

    Click(Bar::IDC_OPEN_DVD);
    const unsigned long drives = desktop.WaitWindow(Pid(), "DVDドライブ選択", 30s);
    ASSERT_NE(drives, 0u);
    // The button's menu: its first entry is the folder.
    ASSERT_TRUE(ClickOpensAMenu(desktop.Geometry(drives).topLeft() + DriveDialogOpenButtonCentre()))
        << "the button's menu did not open";
    desktop.MenuKeys("Down Return");
    AnswerFileDialog("フォルダ/イメージを開く", dvd);
    ASSERT_TRUE(WaitFor([&] { return LogHas("ドライブ選択：" + dvd); }, 30s)) << Log();
    ASSERT_TRUE(WaitFor([&] { return LogHas("USBドングルへ再生コマンド送信"); }, 30s)) << Log();
    ASSERT_TRUE(WaitFor([&] { return LogHas("DVDメニュー設定"); }, 30s));
    // libvlc reports the time once the disc's picture is up: the volume is set up then.
    ASSERT_TRUE(WaitFor([&] { return LogHas("音量初期化"); }, 30s)) << Log();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 1; }, 30s),
              0);

    // DVDメニュー, then チャプター, its third chapter (6 s into title 1).
    const size_t before = Packets().size();
    const QRect window = MainRect();
    // Back from the dialogs, the user clicks the picture, then the menu's title. (Without a
    // window manager, a first click straight on the menu bar after the drive dialog's pop-up
    // menu opens nothing.)
    ASSERT_TRUE(WaitFor([&] { return !desktop.MenuShown(); }, 30s)) << "a menu stayed open";
    desktop.Click(window.center());
    ASSERT_TRUE(WaitFor([&] { return desktop.ActiveWindow() == main; }, 30s))
        << "the main window did not become active";
    // Each new video output builds the menus again, which closes one the user has open (the
    // disc may still be setting up its outputs): the user opens it again.
    bool chosen = false;
    for (int attempt = 0; attempt < 3 && !chosen; ++attempt) {
        if (desktop.MenuShown()) desktop.MenuKeys("Escape Escape");
        ASSERT_TRUE(WaitFor([&] { return !desktop.MenuShown(); }, 30s)) << "a menu stayed open";
        ASSERT_TRUE(ClickOpensAMenu(window.topLeft() + QPoint(30, 10)))
            << "the DVD menu did not open";
        desktop.MenuKeys("Down Down Right Down Down Return");
        chosen = WaitFor([&] { return LogHas("DVDチャプター変更"); }, 10s);
    }
    ASSERT_TRUE(chosen) << Log();
    const int jumped = WaitPacket(
        before, [](const Packet& p) { return p.speed >= 7; }, 30s);
    EXPECT_GE(jumped, 0) << "the device did not follow the chapter";

    CloseWindow();
    ExpectLogInOrder({"CSV選択ボタンクリック", "DVDドライブ選択ボタンクリック",
                      "ドライブ選択：" + dvd, "USBドングルへ再生コマンド送信", "DVDメニュー設定",
                      "DVDチャプター変更", "USBドングルへ停止コマンド送信"});
}

TEST_F(EndToEnd, ClosingTheWindowWhilePlayingStopsTheDevice) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 3; }, 30s),
              0);

    CloseWindow();
    const auto packets = FinalPackets();
    ASSERT_FALSE(packets.empty());
    EXPECT_TRUE(packets.back().IsStop());
    ExpectLogInOrder(
        {"再生ボタンクリック", "USBドングルへ再生コマンド送信", "USBドングルへ停止コマンド送信"});
}

// A logout, a closing terminal or a service manager ends the player with a signal, whatever
// box or dialog it has open: the close steps run once (the device's last packet is the stop
// packet) and the process ends.
enum class OpenBox { kErrorBox, kOpenVideo, kOpenPlayFile, kDriveDialog, kAboutBox };

struct SignalDuringBox {
    const char* name;
    OpenBox box;
    int signal;
};

void PrintTo(const SignalDuringBox& c, std::ostream* os) { *os << c.name; }

class SignalWhileABoxIsOpen : public EndToEnd,
                              public ::testing::WithParamInterface<SignalDuringBox> {};

TEST_P(SignalWhileABoxIsOpen, EndsTheProcessAfterTheCloseSteps) {
    const SignalDuringBox& c = GetParam();
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 2; }, 30s),
              0);

    std::string title;
    switch (c.box) {
        case OpenBox::kErrorBox:
            OpenVideo(kMedia + "/not-a-video.mp4");
            // A click in the moment after the file dialog closes, while the window stops the
            // video that played, can go astray on this desktop: the story clicks until the
            // button has taken it.
            for (int attempt = 0; attempt < 3 && !LogHas("再生ボタンクリック", 2); ++attempt) {
                Click(Bar::IDC_PLAY);
                WaitFor([&] { return LogHas("再生ボタンクリック", 2); }, 10s);
            }
            title = "再生エラー";
            break;
        case OpenBox::kOpenVideo:
            Click(Bar::IDC_OPEN_VIDEO);
            title = "動画を開く";
            break;
        case OpenBox::kOpenPlayFile:
            Click(Bar::IDC_OPEN_PLAYFILE);
            title = "開く";
            break;
        case OpenBox::kDriveDialog:
            Click(Bar::IDC_OPEN_DVD);
            title = "DVDドライブ選択";
            break;
        case OpenBox::kAboutBox:
            desktop.Keys(main, "alt+h");
            ASSERT_TRUE(WaitFor([&] { return desktop.MenuShown(); }, 30s))
                << "the help menu did not open";
            desktop.MenuKeys("Return");
            title = "QUAMBERPlayerについて";
            break;
    }
    ASSERT_NE(desktop.WaitWindow(Pid(), title, 30s), 0u) << "no " << title << "\n" << Log();

    const size_t stopsBefore = Count("USBドングルへ停止コマンド送信");
    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(Pid(), c.signal), 0);
    EXPECT_EQ(player->WaitExit(30s), 0) << "the process did not end";
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - signalled)
                            .count();
    RecordProperty("exit_ms", static_cast<int>(tookMs));

    const auto packets = FinalPackets();
    ASSERT_FALSE(packets.empty());
    EXPECT_TRUE(packets.back().IsStop());
    // The close steps ran once.
    EXPECT_EQ(Count("USBドングルへ停止コマンド送信"), stopsBefore + 1) << Log();
}

const SignalDuringBox kSignalCases[] = {
    {"TermDuringTheErrorBox", OpenBox::kErrorBox, SIGTERM},
    {"TermDuringTheOpenVideoDialog", OpenBox::kOpenVideo, SIGTERM},
    {"HupDuringTheOpenPlayFileDialog", OpenBox::kOpenPlayFile, SIGHUP},
    {"IntDuringTheDriveDialog", OpenBox::kDriveDialog, SIGINT},
    {"TermDuringTheAboutBox", OpenBox::kAboutBox, SIGTERM},
};

INSTANTIATE_TEST_SUITE_P(Boxes, SignalWhileABoxIsOpen, ::testing::ValuesIn(kSignalCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
