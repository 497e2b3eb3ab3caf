// The device link with test doubles for the port, the device list and the clock: discovery,
// pacing, trace-then-write, messages, settings, reconnection and reattachment.

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "support/DeviceFakes.h"
#include "support/TestSupport.h"

namespace {

using testing_support::FakeDevices;
using testing_support::FakePort;
using testing_support::FakeTiming;
using testing_support::Journal;
using testing_support::JournalLogger;
using testing_support::TempDir;
using testing_support::WriteFile;

DongleSettings Named(std::vector<std::string> names) {
    DongleSettings settings;
    settings.deviceNames = std::move(names);
    return settings;
}

class UsbDongleTest : public ::testing::Test {
protected:
    UsbDongleTest() {
        auto p = std::make_unique<FakePort>(journal);
        auto d = std::make_unique<FakeDevices>();
        auto t = std::make_unique<FakeTiming>(journal);
        port = p.get();
        devices = d.get();
        timing = t.get();
        dongle = std::make_unique<UsbDongle>(
            UsbDongle::Platform{std::move(p), std::move(d), std::move(t)});
    }

    void Init(const DongleSettings& settings) { dongle->Init(&logger, settings); }

    // Init with one present dongle, then the port opened as playback starts.
    void StartPlaying() {
        devices->present = {{"usb-Kestrune_Dongle-if00", "/dev/ttyUSB0"}};
        Init(Named({"Kestrune"}));
        dongle->OpenPort();
        journal.events.clear();
    }

    Journal journal;
    JournalLogger logger{journal};
    FakePort* port = nullptr;
    FakeDevices* devices = nullptr;
    FakeTiming* timing = nullptr;
    std::unique_ptr<UsbDongle> dongle;
};

TEST_F(UsbDongleTest, WithoutDeviceNamesNothingIsSearchedOrApplied) {
    devices->present = {{"anything", "/dev/ttyS0"}};
    DongleSettings settings;
    settings.port.baudRate = 9600;
    Init(settings);
    EXPECT_EQ(journal.events, std::vector<std::string>{"message 利用可能なデバイス名がありません"});
    EXPECT_EQ(dongle->GetPortSettings().baudRate, -1);
    EXPECT_EQ(dongle->GetDeviceName(), "");
}

TEST_F(UsbDongleTest, NamesAndSettingsAreTakenThenTheDongleIsLookedFor) {
    devices->present = {{"usb-Other-if00", "/dev/ttyUSB1"},
                        {"usb-Kestrune_X-if00", "/dev/ttyUSB0"}};
    DongleSettings settings = Named({"Nope", " Kestrune"});
    settings.port.baudRate = 19200;
    settings.port.parity = 2;
    Init(settings);
    // " Kestrune" keeps its blank, so it matches nothing: no dongle.
    EXPECT_EQ(dongle->DeviceNames(), (std::vector<std::string>{"Nope", " Kestrune"}));
    EXPECT_EQ(journal.events.front(), "message 利用可能デバイス名 : Nope,  Kestrune");
    EXPECT_EQ(journal.events.back(), "message 利用可能デバイスが見つかりませんでした");
    EXPECT_EQ(dongle->GetPortSettings().baudRate, 19200);
    EXPECT_EQ(dongle->GetPortSettings().parity, 2);
    EXPECT_FALSE(port->IsOpen());  // the port opens when playback starts
}

TEST_F(UsbDongleTest, TheFirstDeviceInOrderWinsAndEmptyNamesMatchAll) {
    struct Case {
        std::vector<std::string> names;
        std::vector<platform::SerialDevice> present;
        std::string matched;
        std::string port;
    } cases[] = {
        {{"B", "A"}, {{"dev-A", "/dev/a"}, {"dev-B", "/dev/b"}}, "A", "/dev/a"},
        {{"A", ""}, {{"x", "/dev/x"}, {"dev-A", "/dev/a"}}, "", "/dev/x"},
        {{"A"}, {{"dev-A-gone", ""}, {"dev-A", "/dev/a"}}, "A", "/dev/a"},  // no port: skipped
    };
    for (const auto& c : cases) {
        devices->present = c.present;
        UsbDongle fresh(UsbDongle::Platform{std::make_unique<FakePort>(journal),
                                            std::make_unique<FakeDevices>(*devices),
                                            std::make_unique<FakeTiming>(journal)});
        fresh.Init(&logger, Named(c.names));
        EXPECT_EQ(fresh.GetDeviceName(), c.matched) << c.names.front();
        EXPECT_EQ(fresh.GetPortName(), c.port) << c.names.front();
    }
}

TEST_F(UsbDongleTest, AListFailureIsReportedWithItsErrno) {
    devices->error = 13;
    Init(Named({"K"}));
    EXPECT_EQ(journal.events.back(), "message デバイス一覧の取得に失敗しました (13)");
}

TEST_F(UsbDongleTest, LongNamesAreCutNotOverflowed) {
    const std::string longName(400, 'n');
    devices->present = {{longName, "/dev/" + std::string(100, 'p')}};
    Init(Named({"nnn"}));
    EXPECT_EQ(dongle->GetPortName().size(), 63u);
    EXPECT_EQ(journal.events.back(), "message 利用デバイス : " + longName.substr(0, 255));
}

TEST_F(UsbDongleTest, PacketsAreTracedThenWrittenAtLeast100MsApart) {
    StartPlaying();
    dongle->SendCommand(0xB2, 10);
    timing->now += 30;
    dongle->SendCommand(0x64, 20);
    dongle->SendCommand(0x05, -1);  // nothing to send
    const std::vector<std::string> expected = {"trace 10 b2", "write 01 01 b2", "sleep 70",
                                               "trace 20 64", "write 01 01 64"};
    EXPECT_EQ(journal.events, expected);
}

TEST_F(UsbDongleTest, TheFirstPacketIsNotDelayedAndAClosedPortSendsNothing) {
    dongle->SendStop();  // closed: no trace, no write
    EXPECT_TRUE(journal.events.empty());
    StartPlaying();
    EXPECT_EQ(journal.Count("sleep"), 0);
    dongle->SendStop();
    EXPECT_EQ(journal.events, (std::vector<std::string>{"trace 0 00", "write 01 01 00"}));
}

TEST_F(UsbDongleTest, OpeningAnOpenPortStopsItFirstAndAppliesTheSettings) {
    devices->present = {{"usb-Kestrune-if00", "/dev/ttyUSB0"}};
    DongleSettings settings = Named({"Kestrune"});
    settings.port.baudRate = 9600;
    Init(settings);
    journal.events.clear();
    dongle->OpenPort();
    dongle->OpenPort();
    const std::vector<std::string> expected = {"open /dev/ttyUSB0", "configure", "trace 0 00",
                                               "write 01 01 00",    "sleep 100", "close",
                                               "open /dev/ttyUSB0", "configure"};
    EXPECT_EQ(journal.events, expected);
    EXPECT_EQ(port->settings.baudRate, 9600);
    EXPECT_EQ(port->settings.parity, 0xFF);
}

TEST_F(UsbDongleTest, OpenAndSettingFailuresAreReported) {
    devices->present = {{"usb-Kestrune-if00", "/dev/ttyUSB0"}};
    Init(Named({"Kestrune"}));
    port->openError = 16;
    dongle->OpenPort();
    EXPECT_EQ(journal.events.back(),
              "message COMポート(/dev/ttyUSB0)がオープンできませんでした (16)");
    EXPECT_FALSE(port->IsOpen());
    port->openError = 0;
    port->configureError = 22;
    dongle->OpenPort();
    EXPECT_EQ(journal.events.back(),
              "message COMポート(/dev/ttyUSB0)の通信設定ができませんでした (22)");
    EXPECT_FALSE(port->IsOpen());
}

// On Linux a serial device belongs to a group the user must be in; the owner is told once
// per run which device and group, after the logger line, and only for a refusal of that kind.
TEST_F(UsbDongleTest, APortRefusedForLackOfPermissionIsToldOnceWithItsNodeAndGroup) {
    struct Case {
        int error;
        bool told;
    } cases[] = {{EACCES, true}, {EPERM, true}, {EBUSY, false}, {ENOENT, false}, {EIO, false}};
    // The folder's entry is a link to the node, as udev makes them.
    const TempDir dir;
    WriteFile(dir / "ttyUSB0", "");
    ASSERT_EQ(::symlink((dir / "ttyUSB0").c_str(), (dir / "usb-Kestrune-if00").c_str()), 0);
    const std::string node = std::filesystem::canonical(dir / "ttyUSB0");
    const group* dialout = ::getgrnam("dialout");
    const bool owned = dialout != nullptr && ::chown(node.c_str(), -1, dialout->gr_gid) == 0;
    devices->present = {{"usb-Kestrune-if00", dir / "usb-Kestrune-if00"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        journal.events.clear();
        auto refusing = std::make_unique<FakePort>(journal);
        refusing->openError = c.error;
        UsbDongle fresh(UsbDongle::Platform{std::move(refusing),
                                            std::make_unique<FakeDevices>(*devices),
                                            std::make_unique<FakeTiming>(journal)});
        std::vector<std::pair<std::string, std::string>> told;
        fresh.SetAccessDeniedHandler([&](const std::string& path, const std::string& group) {
            told.emplace_back(path, group);
            journal.Add("told");
        });
        fresh.Init(&logger, Named({"Kestrune"}));
        fresh.OpenPort();
        fresh.OpenPort();
        fresh.Reconnect();
        EXPECT_EQ(journal.Count("open "), 3);
        EXPECT_EQ(journal.Count("message COMポート"), 3);
        ASSERT_EQ(told.size(), c.told ? 1u : 0u);
        if (!c.told) continue;
        const auto logged = std::find(journal.events.begin(), journal.events.end(), "told");
        ASSERT_NE(logged, journal.events.begin());
        EXPECT_EQ(*(logged - 1), "message COMポート(" + (dir / "usb-Kestrune-if00") +
                                     ")がオープンできませんでした (" + std::to_string(c.error) +
                                     ")");
        EXPECT_EQ(told[0].first, node);
        if (owned) {
            EXPECT_EQ(told[0].second, "dialout");
        }
    }
}

TEST_F(UsbDongleTest, AFailedOrTimedOutWriteReconnects) {
    for (const auto result : {platform::WriteResult::kFailed, platform::WriteResult::kTimedOut}) {
        StartPlaying();
        port->writeResult = result;
        devices->present.clear();  // unplugged
        dongle->SendCommand(0x32, 10);
        const std::vector<std::string> expected = {
            "trace 10 32", "write 01 01 32", "sleep 100", "close",
            "message 利用可能デバイスが見つかりませんでした"};
        EXPECT_EQ(journal.events, expected);
        EXPECT_FALSE(port->IsOpen());
        port->writeResult = platform::WriteResult::kWritten;
        journal.events.clear();
        dongle->SendCommand(0x32, 20);  // later commands are dropped
        EXPECT_TRUE(journal.events.empty());
    }
}

// After the system's devices changed: a dongle that is there is opened and stopped; one that
// is gone is stopped and let go after a pause.
TEST_F(UsbDongleTest, ReattachOpensAndStopsAPresentDongleAndLetsAGoneOneGo) {
    StartPlaying();
    dongle->ClosePort();
    journal.events.clear();
    EXPECT_TRUE(dongle->Reattach());
    const std::vector<std::string> found = {"message 利用デバイス : usb-Kestrune_Dongle-if00",
                                            "open /dev/ttyUSB0", "configure", "trace 0 00",
                                            "write 01 01 00"};
    EXPECT_EQ(journal.events, found);

    journal.events.clear();
    devices->present.clear();
    EXPECT_FALSE(dongle->Reattach());
    const std::vector<std::string> gone = {"message 利用可能デバイスが見つかりませんでした",
                                           "sleep 100",
                                           "trace 0 00",
                                           "write 01 01 00",
                                           "sleep 100",
                                           "close"};
    EXPECT_EQ(journal.events, gone);
    EXPECT_FALSE(port->IsOpen());
}

}  // namespace
