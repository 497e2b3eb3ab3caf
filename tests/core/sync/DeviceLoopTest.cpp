// The device thread: when the synchronisation steps run (SyncRhythm, on hand-set times), and the
// loop itself with a real thread: work in the order given, ticks only between StartTicks and
// StopTicks, and the SyncDriver's commands reaching the device link in the order the session
// gave them (pause, seek, device change, close), with the ticks in between.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "support/DeviceFakes.h"
#include "support/HandClock.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "sync/DeviceLoop.h"
#include "sync/SyncDriver.h"
#include "sync/SyncRhythm.h"

namespace {

using namespace std::chrono_literals;
using testing_support::WaitFor;

// ---------------------------------------------------------------------------------------------
// The rhythm on hand-set times.

// Steps due from `from` to `to` (inclusive) in 1 ms, each reported done at once with the
// next line `nextLine` ms ahead.
std::vector<int64_t> StepsBetween(SyncRhythm& rhythm, int64_t from, int64_t to,
                                  std::optional<int64_t> nextLine = std::nullopt) {
    std::vector<int64_t> steps;
    for (int64_t t = from; t <= to; ++t) {
        if (!rhythm.TakeDue(t)) continue;
        steps.push_back(t);
        rhythm.StepDone(t, t, nextLine);
    }
    return steps;
}

TEST(SyncRhythm, TicksEvery40MsFromItsStartAndCatchesUpOnceAfterALateOne) {
    SyncRhythm rhythm;
    EXPECT_FALSE(rhythm.NextDueMs());
    EXPECT_FALSE(rhythm.TakeDue(1000));
    rhythm.Start(1000);
    EXPECT_EQ(rhythm.NextDueMs(), 1040);
    EXPECT_EQ(StepsBetween(rhythm, 1000, 1120), (std::vector<int64_t>{1040, 1080, 1120}));
    // A tick taken 130 ms late runs once; the next comes 40 ms after it.
    EXPECT_TRUE(rhythm.TakeDue(1290));
    rhythm.StepDone(1290, 1291, std::nullopt);
    EXPECT_EQ(rhythm.NextDueMs(), 1330);
    rhythm.Stop();
    EXPECT_FALSE(rhythm.NextDueMs());
    EXPECT_FALSE(rhythm.TakeDue(2000));
}

// A line due before the next tick gets a step at its own time, measured from the step's end;
// one due at the tick or later, now, or never, gets none.
TEST(SyncRhythm, ALineDueBeforeTheNextTickGetsAStepAtItsTime) {
    SyncRhythm rhythm;
    rhythm.Start(0);
    ASSERT_TRUE(rhythm.TakeDue(40));
    rhythm.StepDone(40, 42, 25);
    EXPECT_EQ(rhythm.NextDueMs(), 67);
    EXPECT_FALSE(rhythm.TakeDue(66));
    EXPECT_TRUE(rhythm.TakeDue(67));
    rhythm.StepDone(67, 67, std::nullopt);
    EXPECT_EQ(rhythm.NextDueMs(), 80);
    // A line due at the next tick or later, now or overdue, or none: no step of its own.
    for (const auto none : {std::optional<int64_t>(40), std::optional<int64_t>(0),
                            std::optional<int64_t>(-5), std::optional<int64_t>()}) {
        SyncRhythm other;
        other.Start(0);
        ASSERT_TRUE(other.TakeDue(40));
        other.StepDone(40, 40, none);
        EXPECT_EQ(other.NextDueMs(), 80);
    }
    // Stopped, an armed line goes too.
    rhythm.StepDone(200, 200, 10);
    rhythm.Stop();
    EXPECT_FALSE(rhythm.TakeDue(210));
}

// A step held up by a write's time-out is followed by one due time without a step and without
// a line step; the rhythm goes on after that.
TEST(SyncRhythm, AStepHeldUpForAWritesTimeOutSkipsTheNextOne) {
    SyncRhythm rhythm;
    rhythm.Start(0);
    ASSERT_TRUE(rhythm.TakeDue(40));
    rhythm.StepDone(40, 40 + SyncRhythm::kOverrunMs, 10);
    EXPECT_FALSE(rhythm.TakeDue(540));  // the tick due then is skipped
    EXPECT_EQ(rhythm.NextDueMs(), 580);
    EXPECT_EQ(StepsBetween(rhythm, 541, 660), (std::vector<int64_t>{580, 620, 660}));
    // Just short of the time-out counts as a step like any other.
    ASSERT_TRUE(rhythm.TakeDue(700));
    rhythm.StepDone(700, 700 + SyncRhythm::kOverrunMs - 1, std::nullopt);
    EXPECT_TRUE(rhythm.TakeDue(1240));
}

// ---------------------------------------------------------------------------------------------
// The loop on a thread of its own.

TEST(DeviceLoop, RunsWorkInTheOrderGivenOnAThreadOfItsOwn) {
    std::vector<int> order;
    std::thread::id ranOn;
    {
        DeviceLoop loop;
        for (int i = 0; i < 100; ++i) loop.Post([&, i] { order.push_back(i); });
        loop.Run([&] { ranOn = std::this_thread::get_id(); });
        EXPECT_EQ(order.size(), 100u);  // Run waited for everything before it
        for (int i = 100; i < 200; ++i) loop.Post([&, i] { order.push_back(i); });
    }  // the loop ends after the work still queued
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[static_cast<size_t>(i)], i);
    EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(DeviceLoop, StepsRunOnlyWhileTicksAreOn) {
    DeviceLoop loop;
    std::atomic<int> steps = 0;
    loop.SetStep([&] { ++steps; }, [] { return std::nullopt; });
    EXPECT_FALSE(WaitFor([&] { return steps > 0; }, 200ms)) << "a step before the ticks";
    loop.StartTicks();
    EXPECT_TRUE(WaitFor([&] { return steps >= 3; }, 20s));
    loop.StopTicks();
    int stoppedAt = 0;
    loop.Run([&] { stoppedAt = steps; });  // after the stop, on the device thread
    EXPECT_FALSE(WaitFor([&] { return steps > stoppedAt; }, 200ms)) << "a step after the stop";
}

// The SyncDriver on a real device thread with the device fakes, ticking at its own pace while
// the test gives its commands: each command's device work comes in the order the commands were
// given, a stop packet ends each pause, seek and close, and nothing moves the device after a
// pause until the next play. The test marks the journal on the device thread right after each
// command, so the marks fall where the commands' work ended.
TEST(DeviceLoop, TheDriversCommandsReachTheLinkInTheOrderGiven) {
    using testing_support::FakeDevices;
    using testing_support::FakePort;
    using testing_support::FakeTiming;
    using testing_support::Journal;
    Journal journal;
    testing_support::JournalLogger logger(journal);
    auto devices = std::make_unique<FakeDevices>();
    devices->present = {{"usb-Kestrune_Dongle-if00", "/dev/ttyUSB0"}};
    UsbDongle dongle(UsbDongle::Platform{std::make_unique<FakePort>(journal), std::move(devices),
                                         std::make_unique<FakeTiming>(journal)});
    DongleSettings settings;
    settings.deviceNames = {"Kestrune"};
    dongle.Init(&logger, settings);
    testing_support::HandClock clock;
    testing_support::TempDir dir;
    // A line every tenth: a tick while playing nearly always sends one.
    std::string moves;
    for (int t = 0; t < 60000; ++t) moves += std::to_string(t) + ",1,50\n";
    testing_support::WriteFile(dir / "play.csv", moves);

    std::vector<std::string> notes;
    auto loop = std::make_unique<DeviceLoop>();
    SyncDriver driver(
        clock, dongle, &logger, [&](const std::string& line) { notes.push_back(line); }, *loop);
    ASSERT_TRUE(driver.LoadPlayFile(dir / "play.csv"));
    driver.OnMediaReady();
    clock.state = PlayerState::kPlaying;
    // The player's clock runs on by itself.
    std::atomic<bool> running = true;
    std::thread player([&] {
        while (running) {
            clock.now += 10;
            std::this_thread::sleep_for(10ms);
        }
    });
    const auto mark = [&](const char* what) {
        loop->Post([&journal, what] { journal.Add(std::string("mark ") + what); });
    };
    const auto motions = [&] {
        int n = 0;
        loop->Run([&] { n = journal.Count("write 01 01 b2"); });
        return n;
    };
    const auto playFor = [&](int lines) {
        driver.OnPlaying();
        driver.StartTicks();
        const int before = motions();
        EXPECT_TRUE(WaitFor([&] { return motions() >= before + lines; }, 20s)) << "no lines";
    };

    playFor(3);
    driver.StopTicks();
    driver.OnPaused();
    mark("paused");
    const int pausedAt = motions();
    EXPECT_FALSE(WaitFor([&] { return motions() > pausedAt; }, 300ms))
        << "the device moved after the pause";
    playFor(3);
    driver.OnSeekStarted();
    mark("seek");
    playFor(2);
    driver.OnDevicesChanged();  // playing: handled by the next tick, in its turn
    mark("devices changed");
    playFor(2);
    driver.OnClose();  // waits for the stop packet and the close
    mark("closed");
    loop.reset();
    running = false;
    player.join();

    // What the device got, with the marks: the packets only (their traces and pacing left out).
    std::vector<std::string> got;
    for (const std::string& e : journal.events) {
        if (e.rfind("write", 0) == 0 || e.rfind("mark", 0) == 0 || e.rfind("open", 0) == 0 ||
            e == "close") {
            got.push_back(e);
        }
    }
    const auto at = [&](const std::string& what) {
        return static_cast<size_t>(std::find(got.begin(), got.end(), what) - got.begin());
    };
    const std::string stop = "write 01 01 00";
    const std::string motion = "write 01 01 b2";
    // Each of the pause, the seek and the close ended with the stop packet.
    for (const char* command : {"mark paused", "mark seek"}) {
        const size_t i = at(command);
        ASSERT_LT(i, got.size()) << command;
        ASSERT_GT(i, 0u);
        EXPECT_EQ(got[i - 1], stop) << command;
    }
    ASSERT_LT(at("mark closed"), got.size());
    EXPECT_EQ(got[at("mark closed") - 2], stop);
    EXPECT_EQ(got[at("mark closed") - 1], "close");
    EXPECT_EQ(at("mark closed"), got.size() - 1) << "the device moved after the close";
    // After the pause, nothing moved it until it was opened again for the next play.
    const size_t reopened =
        static_cast<size_t>(std::find(got.begin() + static_cast<std::ptrdiff_t>(at("mark paused")),
                                      got.end(), "open /dev/ttyUSB0") -
                            got.begin());
    for (size_t i = at("mark paused"); i < reopened && i < got.size(); ++i) {
        EXPECT_NE(got[i], motion) << "at " << i;
    }
    // The device change, in its turn: the port opened again and stopped before the next line.
    const size_t change = at("mark devices changed");
    const size_t opened =
        static_cast<size_t>(std::find(got.begin() + static_cast<std::ptrdiff_t>(change), got.end(),
                                      "open /dev/ttyUSB0") -
                            got.begin());
    ASSERT_LT(opened + 1, got.size());
    EXPECT_EQ(got[opened + 1], stop);
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "USBドングルへ再生コマンド送信", "USBドングルへ一時停止コマンド送信",
                         "USBドングルへ再生コマンド送信", "USBドングルへ再生コマンド送信",
                         "USBドングルへ再生コマンド送信", "USBドングルへ停止コマンド送信"}));
}

}  // namespace
