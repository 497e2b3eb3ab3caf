// The end-to-end stories of playback (the fixture is in EndToEnd.h): the demo played to its end
// with every packet checked against its play file, pause and resume, a seek with the slider,
// fast forward held for 4 s, repeat, and a DVD folder from the drive dialog with a chapter
// chosen from the menu bar. Each story checks what the dongle received and ends by reading the
// operation log line by line.

#include <gtest/gtest.h>

#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dialogs/DriveSelectDlg.h"
#include "e2e/EndToEnd.h"
#include "player/PlaybackMath.h"
#include "support/SchedulerWaits.h"
#include "support/TestSupport.h"

namespace e2e {
namespace {

using testing_support::SchedulerWaitMs;

// The folder/image button of the drive dialog, relative to the dialog.
QPoint DriveDialogOpenButtonCentre() {
    CDriveSelectDlg dialog;
    return dialog.OpenButton()->geometry().center();
}

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

// The keys do what the bar does: Space pauses (the device stops) and plays again (the line in
// force), and Right moves 5 s on as a seek with the slider does: the device stops, then gets
// the line in force 5 s further.
TEST_F(EndToEnd, SpaceAndTheRightKeyPauseAndSeekAsTheBarDoes) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 3; }, 30s),
              0);
    desktop.Keys(main, "space");
    const int paused = WaitPacket(
        Packets().size() - 1, [](const Packet& p) { return p.IsStop(); }, 30s);
    ASSERT_GE(paused, 0) << "no stop packet on Space";
    ASSERT_TRUE(WaitFor([&] { return LogHas("USBドングルへ一時停止コマンド送信"); }, 30s));
    desktop.Keys(main, "space");
    const int resumed = WaitPacket(
        static_cast<size_t>(paused) + 1, [](const Packet& p) { return !p.IsStop(); }, 30s);
    ASSERT_GE(resumed, 0) << "no line on Space again";

    desktop.Keys(main, "Right");
    const int stop = WaitPacket(
        static_cast<size_t>(resumed) + 1, [](const Packet& p) { return p.IsStop(); }, 30s);
    ASSERT_GE(stop, 0) << "no stop packet on the seek";
    const int next = WaitPacket(
        static_cast<size_t>(stop) + 1, [](const Packet& p) { return !p.IsStop(); }, 30s);
    ASSERT_GE(next, 0);
    const auto packets = Packets();
    int last = 0;  // the line in force when the seek began
    for (int i = 0; i < stop; ++i) {
        if (!packets[static_cast<size_t>(i)].IsStop()) last = packets[static_cast<size_t>(i)].speed;
    }
    const int moved = packets[static_cast<size_t>(next)].speed - last;
    // 5 s on from somewhere in the second of the last line sent.
    EXPECT_GE(moved, 4);
    EXPECT_LE(moved, 7);

    CloseWindow();
    ExpectLogInOrder({"再生ボタンクリック", "USBドングルへ再生コマンド送信",
                      "一時停止ボタンクリック", "USBドングルへ一時停止コマンド送信",
                      "再生ボタンクリック", "USBドングルへ再生コマンド送信",
                      "メディアスライダー移動", "USBドングルへ停止コマンド送信"});
}

// "]" six times moves the user's offset to +300 ms: every later line reaches the device 300 ms
// sooner against the video, within one 40 ms tick. Compared by the earliest arrival in each
// stretch against its line's time: a busy machine only ever delays a packet, so the earliest
// is one it did not delay.
TEST_F(EndToEnd, SixPressesOfTheOffsetKeyBringEveryLine300MsSooner) {
    PlayDemoWithSecondsPlayFile();
    ASSERT_GE(WaitPacket(
                  0, [](const Packet& p) { return p.speed >= 7; }, 30s),
              0);
    // Counted before the keys go: the log line below may be read well after the offset took
    // effect on a busy machine, so packets before it may already be sooner.
    const size_t pressed = Packets().size();
    desktop.Keys(main,
                 "bracketright bracketright bracketright bracketright bracketright "
                 "bracketright");
    ASSERT_TRUE(WaitFor([&] { return LogHas("同期オフセット変更：+300 ms"); }, 30s)) << Log();
    const size_t changed = Packets().size();
    int lastBefore = 0;
    for (const Packet& p : Packets()) lastBefore = std::max(lastBefore, p.speed);
    ASSERT_GE(WaitPacket(
                  changed, [&](const Packet& p) { return p.speed >= lastBefore + 8; }, 30s),
              0);

    // The earliest arrival against its line's time (speed s is the line at s - 1 seconds),
    // over the first packet of each speed in [from, to) above `above`.
    const auto packets = Packets();
    const auto earliest = [&](size_t from, size_t to, int above) {
        double phase = 1e18;
        int seen = above;
        for (size_t i = from; i < to; ++i) {
            const Packet& p = packets[i];
            if (p.IsStop() || p.speed <= seen) continue;
            seen = p.speed;
            phase = std::min(phase, p.ms - (p.speed - 1) * 1000.0);
        }
        return phase;
    };
    // Before: past the first line, which goes out when play starts, up to the keys. After: past
    // the line in force at the change and the one the change may have come within a tick of.
    const double before = earliest(1, pressed, 1);
    const double after = earliest(changed, packets.size(), lastBefore + 1);
    EXPECT_NEAR(after - before, -300, 40);

    CloseWindow();
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

}  // namespace
}  // namespace e2e
