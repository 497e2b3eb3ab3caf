// The synchronisation driver's decisions, with a player clock set by hand and the device link
// on test doubles: what reaches the device before and after the media is ready, in each
// player state, on a seek and a close, on device changes, and from the play script on ticks.
// The operation log's notes share the journal, so their order against the packets shows; the
// link's pacing pauses are left out (the link's own tests cover them).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "player/PlayerClock.h"
#include "support/DeviceFakes.h"
#include "support/HandClock.h"
#include "support/TestSupport.h"
#include "sync/DeviceLoop.h"
#include "sync/SyncDriver.h"

namespace {

using testing_support::FakeDevices;
using testing_support::FakePort;
using testing_support::FakeTiming;
using testing_support::HandClock;
using testing_support::Journal;
using testing_support::JournalLogger;
using testing_support::TempDir;
using testing_support::WriteFile;

const std::vector<std::string> kStopPacket = {"trace 0 00", "write 01 01 00"};

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class SyncDriverTest : public ::testing::Test {
protected:
    SyncDriverTest() {
        auto p = std::make_unique<FakePort>(journal);
        auto d = std::make_unique<FakeDevices>();
        port = p.get();
        devices = d.get();
        devices->present = {{"usb-Kestrune_Dongle-if00", "/dev/ttyUSB0"}};
        dongle = std::make_unique<UsbDongle>(
            UsbDongle::Platform{std::move(p), std::move(d), std::make_unique<FakeTiming>(journal)});
        DongleSettings settings;
        settings.deviceNames = {"Kestrune"};
        dongle->Init(&logger, settings);
        driver = std::make_unique<SyncDriver>(
            clock, *dongle, &logger,
            [this](const std::string& line) { journal.Add("note " + line); }, *loop);
        journal.events.clear();
    }

    void LoadScript(const std::string& lines) {
        WriteFile(dir / "play.csv", lines);
        ASSERT_TRUE(driver->LoadPlayFile(dir / "play.csv"));
        journal.events.clear();
    }

    // Media ready and playing at `t`, the port open; the journal starts empty.
    void Play(int64_t t) {
        driver->OnMediaReady();
        clock.now = t;
        clock.state = PlayerState::kPlaying;
        driver->OnPlaying();
        journal.events.clear();
    }

    // What the driver had done, without the link's pacing pauses.
    [[nodiscard]] std::vector<std::string> Done() const {
        std::vector<std::string> done;
        for (const auto& e : journal.events) {
            if (e.rfind("sleep ", 0) != 0) done.push_back(e);
        }
        return done;
    }

    void TickUntil(int64_t end) {
        for (; clock.now <= end; clock.now += 40) driver->OnTick();
    }

    TempDir dir;
    Journal journal;
    JournalLogger logger{journal};
    HandClock clock;
    FakePort* port = nullptr;
    FakeDevices* devices = nullptr;
    std::unique_ptr<UsbDongle> dongle;
    // Device work runs at once, in the test's order.
    std::unique_ptr<DeviceLoop> loop = DeviceLoop::Inline();
    std::unique_ptr<SyncDriver> driver;
};

TEST_F(SyncDriverTest, BeforeTheMediaIsReadyOnlyASeekOrTheCloseReachTheDevice) {
    LoadScript("0,1,50\n10,0,30\n");
    clock.state = PlayerState::kPlaying;
    driver->OnPlaying();
    TickUntil(2000);
    driver->OnPaused();
    driver->OnStopped();
    EXPECT_TRUE(journal.events.empty());
    EXPECT_FALSE(driver->IsMediaReady());

    driver->OnMediaReady();
    driver->OnPlaying();
    EXPECT_EQ(Done(), (std::vector<std::string>{"note USBドングルへ再生コマンド送信",
                                                "open /dev/ttyUSB0", "configure"}));
}

TEST_F(SyncDriverTest, PlayPauseAndStopEachTellTheDeviceAfterTheirNote) {
    LoadScript("10,1,50\n20,0,30\n30,1,10\n");
    Play(2100);
    // Playing at 2.1 s: the line in force (2.0 s) comes first, then the next one on time.
    clock.now = 2100;
    TickUntil(3100);
    EXPECT_EQ(Done(), (std::vector<std::string>{"trace 20 1e", "write 01 01 1e", "trace 30 8a",
                                                "write 01 01 8a"}));
    journal.events.clear();

    clock.state = PlayerState::kPaused;
    driver->OnPaused();
    EXPECT_EQ(Done(), Join({{"note USBドングルへ一時停止コマンド送信"}, kStopPacket}));
    journal.events.clear();

    clock.state = PlayerState::kStopped;
    driver->OnStopped();
    EXPECT_EQ(Done(), Join({{"note USBドングルへ停止コマンド送信"}, kStopPacket, {"close"}}));
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(SyncDriverTest, ResumingRepositionsTheScriptAndReopensThePort) {
    LoadScript("10,1,50\n20,0,30\n30,1,10\n");
    Play(0);
    TickUntil(1100);  // 1.0 s sent
    journal.events.clear();
    // A seek to 2.5 s while paused, then playing again: the line in force at 2.5 s is next.
    clock.state = PlayerState::kPaused;
    driver->OnPaused();
    clock.now = 2500;
    clock.state = PlayerState::kPlaying;
    driver->OnPlaying();
    driver->OnTick();
    const std::vector<std::string> expected =
        Join({{"note USBドングルへ一時停止コマンド送信"},
              kStopPacket,
              {"note USBドングルへ再生コマンド送信"},
              // The open port is closed with a stop first, then opened again.
              kStopPacket,
              {"close", "open /dev/ttyUSB0", "configure", "trace 20 1e", "write 01 01 1e"}});
    EXPECT_EQ(Done(), expected);
}

TEST_F(SyncDriverTest, ASeekStopsTheDeviceAndTheCloseStopsAndReleasesIt) {
    Play(0);
    driver->OnSeekStarted();
    EXPECT_EQ(Done(), kStopPacket);
    journal.events.clear();
    driver->OnClose();
    EXPECT_EQ(Done(), Join({{"note USBドングルへ停止コマンド送信"}, kStopPacket, {"close"}}));
    // Closing with nothing open writes only the note.
    journal.events.clear();
    driver->OnClose();
    EXPECT_EQ(Done(), std::vector<std::string>{"note USBドングルへ停止コマンド送信"});
}

// While the player is idle a device change is handled at once; while it is busy, on the next
// tick, so that the link is not reopened between the player's own steps.
TEST_F(SyncDriverTest, ADeviceChangeIsHandledAtOnceWhenIdleAndOnTheNextTickWhenBusy) {
    struct Case {
        PlayerState state;
        bool atOnce;
    } cases[] = {{PlayerState::kNothingSpecial, true}, {PlayerState::kPaused, true},
                 {PlayerState::kStopped, true},        {PlayerState::kEnded, true},
                 {PlayerState::kOpening, false},       {PlayerState::kBuffering, false},
                 {PlayerState::kPlaying, false},       {PlayerState::kError, false}};
    driver->OnMediaReady();
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.state));
        journal.events.clear();
        clock.state = c.state;
        driver->OnDevicesChanged();
        EXPECT_EQ(journal.Count("message デバイスの接続状態が変化しました"), c.atOnce ? 1 : 0);
        EXPECT_EQ(journal.Count("open"), c.atOnce ? 1 : 0);
        driver->OnTick();
        EXPECT_EQ(journal.Count("open"), 1);
        driver->OnTick();  // handled once
        EXPECT_EQ(journal.Count("open"), 1);
    }
}

TEST_F(SyncDriverTest, AChangeLeftForTheTickReopensStopsThenSendsTheLineInForce) {
    LoadScript("10,1,50\n20,0,30\n");
    Play(0);
    clock.now = 1500;
    driver->OnDevicesChanged();
    EXPECT_TRUE(journal.events.empty());
    driver->OnTick();
    const std::vector<std::string> expected =
        Join({{"message 利用デバイス : usb-Kestrune_Dongle-if00"},
              kStopPacket,
              {"close", "open /dev/ttyUSB0", "configure"},
              kStopPacket,
              {"trace 10 b2", "write 01 01 b2"}});
    EXPECT_EQ(Done(), expected);
}

TEST_F(SyncDriverTest, AChangeThatTakesTheDongleAwayClosesThePort) {
    Play(0);
    devices->present.clear();
    clock.state = PlayerState::kPaused;
    driver->OnDevicesChanged();
    EXPECT_EQ(journal.Count("message 利用可能デバイスが見つかりませんでした"), 1);
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(SyncDriverTest, AFailedLoadLeavesAnEmptyScriptThatSendsNothing) {
    LoadScript("10,1,50\n");
    EXPECT_FALSE(driver->LoadPlayFile(dir / "missing.csv"));
    ASSERT_NE(driver->Lines(), nullptr);
    EXPECT_TRUE(driver->Lines()->empty());
    ASSERT_NE(driver->Script(), nullptr);
    EXPECT_TRUE(driver->Script()->Lines().empty());
    Play(0);
    TickUntil(2000);
    EXPECT_EQ(journal.Count("write"), 0);
}

// With an offset, the device gets at player time t what it would get at t + offset without
// one: the same packets at the same ticks, shifted. At the script's start and end too, and at
// the offset's limits.
TEST_F(SyncDriverTest, AnOffsetShiftsEveryLineByItsAmount) {
    const std::string script = "0,1,50\n10,0,30\n25,1,100\n40,0,0\n50,1,20\n";
    for (const int offset : {300, -300, 5000, -5000}) {
        SCOPED_TRACE(offset);
        // What the driver sends from the given clock readings, one tick each.
        const auto sent = [&](int driverOffset, int64_t from, int64_t to) {
            LoadScript(script);
            driver->SetOffsetMs(driverOffset);
            Play(from);
            for (clock.now = from; clock.now <= to; clock.now += 40) {
                const size_t before = journal.events.size();
                driver->OnTick();
                for (size_t i = before; i < journal.events.size(); ++i) {
                    journal.events[i] += " @" + std::to_string(clock.now - from);
                }
            }
            return Done();
        };
        const int64_t start = -1000;
        const int64_t end = 11000;
        const auto shifted = sent(offset, start, end);
        EXPECT_EQ(shifted, sent(0, start + offset, end + offset));
        EXPECT_FALSE(shifted.empty());
    }
}

TEST_F(SyncDriverTest, APositiveOffsetSendsALineThatMuchEarlier) {
    LoadScript("0,1,50\n10,0,30\n");
    driver->SetOffsetMs(300);
    Play(0);
    for (clock.now = 0; clock.now < 680; clock.now += 40) driver->OnTick();
    EXPECT_EQ(Done(), (std::vector<std::string>{"trace 0 b2", "write 01 01 b2"}));
    clock.now = 700;  // 1.0 s less 300 ms
    driver->OnTick();
    EXPECT_EQ(Done().back(), "write 01 01 1e");
}

TEST_F(SyncDriverTest, TheOffsetIsKeptWithinFiveSeconds) {
    driver->SetOffsetMs(9000);
    EXPECT_EQ(driver->OffsetMs(), 5000);
    driver->SetOffsetMs(-9000);
    EXPECT_EQ(driver->OffsetMs(), -5000);
    EXPECT_EQ(driver->ChangeOffsetMs(-50), -5000);
    EXPECT_EQ(driver->ChangeOffsetMs(10), -4990);
}

// How long until the next line is due at the clock's reading, offset included: what the window
// arms its one-shot timer with. Nothing waits before the media is ready, without a script or
// past its end.
TEST_F(SyncDriverTest, TheNextLineIsDueAtItsTimeLessTheOffset) {
    EXPECT_FALSE(driver->NextLineDueInMs());
    LoadScript("10,1,50\n25,0,30\n");
    clock.now = 930;
    EXPECT_FALSE(driver->NextLineDueInMs());  // the media is not ready
    Play(930);
    EXPECT_EQ(driver->NextLineDueInMs(), 70);
    driver->SetOffsetMs(50);
    EXPECT_EQ(driver->NextLineDueInMs(), 20);
    clock.now = 950;  // script time 1.0 s
    EXPECT_EQ(driver->NextLineDueInMs(), 0);
    driver->OnTick();
    EXPECT_EQ(driver->NextLineDueInMs(), 1500);
    clock.now = 2450;
    driver->OnTick();
    EXPECT_EQ(Done().back(), "write 01 01 1e");
    EXPECT_FALSE(driver->NextLineDueInMs());
}

// Lines may lie anywhere up to the largest time a play file holds; the time until them is
// worked out without overflowing, and they are never due on a clock that can reach no further.
TEST_F(SyncDriverTest, LinesAtTheLargestTimesAreWaitedForWithoutOverflow) {
    LoadScript("10,1,50\n92233720368547758,0,30\n9223372036854775807,1,70\n");
    Play(900);
    EXPECT_EQ(driver->NextLineDueInMs(), 100);
    journal.events.clear();
    clock.now = 1000;
    driver->OnTick();
    EXPECT_EQ(driver->NextLineDueInMs(), INT64_C(9223372036854775800) - 1000);
    clock.now = -5000;  // the clock read before a seek took hold
    EXPECT_GT(driver->NextLineDueInMs().value_or(0), 0);
    for (const int64_t t : {int64_t{2000}, INT64_MAX - 100, INT64_MAX}) {
        clock.now = t;
        driver->OnTick();
        EXPECT_GT(driver->NextLineDueInMs().value_or(1), -1) << t;
    }
    driver->OnTick();
    EXPECT_EQ(Done(), (std::vector<std::string>{"trace 10 b2", "write 01 01 b2",
                                                "trace 92233720368547758 1e", "write 01 01 1e"}));
    clock.now = -5000;
    EXPECT_EQ(driver->NextLineDueInMs(), INT64_MAX);
}

// A change while playing sends nothing by itself; the next tick sends the line in force at the
// new script time, once, and the script goes on from there, back over lines already sent when
// the device is now later. Paused, nothing moves until play.
TEST_F(SyncDriverTest, AnOffsetChangedWhilePlayingSendsOnlyTheLineThenInForce) {
    LoadScript("0,1,50\n10,0,30\n20,1,70\n30,0,10\n");
    Play(0);
    TickUntil(2200);  // the 0, 1 and 2 s lines sent
    journal.events.clear();
    EXPECT_EQ(driver->ChangeOffsetMs(-1700), -1700);  // script time 0.5 s: the 0 s line
    EXPECT_TRUE(journal.events.empty());
    driver->OnTick();
    driver->OnTick();
    EXPECT_EQ(Done(), (std::vector<std::string>{"trace 0 b2", "write 01 01 b2"}));
    journal.events.clear();
    clock.now = 2700;  // script time 1.0 s
    driver->OnTick();
    EXPECT_EQ(Done(), (std::vector<std::string>{"trace 10 1e", "write 01 01 1e"}));

    journal.events.clear();
    clock.state = PlayerState::kPaused;
    driver->ChangeOffsetMs(2000);
    EXPECT_TRUE(journal.events.empty());
}

}  // namespace
