// The device link with test doubles for the port, the device list and the clock: pacing,
// trace-then-write, messages, settings, and device changes while playing and while not.

#include <grp.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "device/UsbDongle.h"
#include "log/Logger.h"
#include "player/TimecodeAdjuster.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// One journal of everything the link does, in order, so that tests can check sequences.
struct Journal {
    std::vector<std::string> events;
    void Add(std::string event) { events.push_back(std::move(event)); }
    [[nodiscard]] int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : events) n += e.rfind(prefix, 0) == 0;
        return n;
    }
};

class FakeTiming final : public platform::Timing {
public:
    explicit FakeTiming(Journal& journal) : journal_(journal) {}
    [[nodiscard]] uint32_t TickMs() const override { return now; }
    void Sleep(uint32_t ms) const override {
        journal_.Add("sleep " + std::to_string(ms));
        now += ms;
    }
    mutable uint32_t now = 5000;

private:
    Journal& journal_;
};

class FakePort final : public platform::SerialPort {
public:
    explicit FakePort(Journal& journal) : journal_(journal) {}
    [[nodiscard]] int Open(const std::string& path) override {
        journal_.Add("open " + path);
        if (openError == 0) open_ = true;
        return openError;
    }
    [[nodiscard]] int Configure(const platform::PortSettings& s) override {
        settings = s;
        journal_.Add("configure");
        return configureError;
    }
    [[nodiscard]] platform::WriteResult Write(const uint8_t* data, size_t size, int) override {
        char text[32];
        std::snprintf(text, sizeof text, "write %02x %02x %02x", data[0], data[1], data[2]);
        journal_.Add(size == 3 ? text : "write ?");
        return writeResult;
    }
    void Close() override {
        journal_.Add("close");
        open_ = false;
    }
    [[nodiscard]] bool IsOpen() const override { return open_; }

    int openError = 0;
    int configureError = 0;
    platform::WriteResult writeResult = platform::WriteResult::kWritten;
    platform::PortSettings settings;

private:
    Journal& journal_;
    bool open_ = false;
};

class FakeDevices final : public platform::DeviceFolder {
public:
    [[nodiscard]] int List(std::vector<platform::SerialDevice>& out) const override {
        out = present;
        return error;
    }
    std::vector<platform::SerialDevice> present;
    int error = 0;
};

class JournalLogger final : public Logger {
public:
    explicit JournalLogger(Journal& journal) : journal_(journal) {}
    void LogCommand(int64_t counter, const uint8_t* packet) override {
        char text[48];
        std::snprintf(text, sizeof text, "trace %lld %02x", static_cast<long long>(counter),
                      packet[2]);
        journal_.Add(text);
    }
    void LogMessage(const char* format, ...) override {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        journal_.Add(std::string("message ") + text);
    }

private:
    Journal& journal_;
};

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
        EXPECT_EQ(::getcwd(previous, sizeof previous), previous);
        EXPECT_EQ(::chdir(dir.Path().c_str()), 0);
    }
    ~UsbDongleTest() override { EXPECT_EQ(::chdir(previous), 0); }

    void Init(const std::string& ini) {
        WriteFile(dir / "Kestrune.ini", ini);
        dongle->Init(&logger);
    }

    // Init with one present dongle, then the port opened as playback starts.
    void StartPlaying(int64_t t = 0) {
        devices->present = {{"usb-Kestrune_Dongle-if00", "/dev/ttyUSB0"}};
        Init("[USB_DONGLE]\nDEVICE_NAME=Kestrune\n");
        dongle->Resume(t);
        journal.events.clear();
    }

    void LoadScript(const std::string& lines) {
        WriteFile(dir / "play.csv", lines);
        dongle->LoadPlayFile(dir / "play.csv");
    }

    TempDir dir;
    char previous[4096] = {};
    Journal journal;
    JournalLogger logger{journal};
    FakePort* port = nullptr;
    FakeDevices* devices = nullptr;
    FakeTiming* timing = nullptr;
    std::unique_ptr<UsbDongle> dongle;
};

TEST_F(UsbDongleTest, WithoutDeviceNamesNothingIsReadOrSearched) {
    devices->present = {{"anything", "/dev/ttyS0"}};
    Init("[COM_PORT]\nBAUD_RATE=9600\n");
    EXPECT_EQ(journal.events, std::vector<std::string>{"message 利用可能なデバイス名がありません"});
    EXPECT_EQ(dongle->GetPortSettings().baudRate, -1);
    EXPECT_EQ(dongle->GetDeviceName(), "");
}

TEST_F(UsbDongleTest, NamesAndSettingsAreReadThenTheDongleIsFound) {
    devices->present = {{"usb-Other-if00", "/dev/ttyUSB1"},
                        {"usb-Kestrune_X-if00", "/dev/ttyUSB0"}};
    Init(
        "[USB_DONGLE]\nDEVICE_NAME=Nope, Kestrune\n[COM_PORT]\nBAUD_RATE=19200\nPARITY=2\n"
        "DTR_CONTROL=enable\nRTS_CONTROL=DISABLE\n");
    // " Kestrune" keeps its blank, so it matches nothing: no dongle.
    EXPECT_EQ(dongle->DeviceNames(), (std::vector<std::string>{"Nope", " Kestrune"}));
    EXPECT_EQ(journal.events.front(), "message 利用可能デバイス名 : Nope,  Kestrune");
    EXPECT_EQ(journal.events.back(), "message 利用可能デバイスが見つかりませんでした");
    const auto& s = dongle->GetPortSettings();
    EXPECT_EQ(s.baudRate, 19200);
    EXPECT_EQ(s.parity, 2);
    EXPECT_EQ(s.dataBits, 0xFF);
    EXPECT_EQ(s.stopBits, 0xFF);
    EXPECT_EQ(s.dtrControl, -1);  // lower case counts as not set
    EXPECT_EQ(s.rtsControl, 0);
    EXPECT_FALSE(port->IsOpen());  // the port opens when playback starts
}

TEST_F(UsbDongleTest, TheFirstDeviceInOrderWinsAndEmptyNamesMatchAll) {
    struct Case {
        const char* names;
        std::vector<platform::SerialDevice> present;
        std::string matched;
        std::string port;
    } cases[] = {
        {"B,A", {{"dev-A", "/dev/a"}, {"dev-B", "/dev/b"}}, "A", "/dev/a"},
        {"A,", {{"x", "/dev/x"}, {"dev-A", "/dev/a"}}, "", "/dev/x"},
        {"A", {{"dev-A-gone", ""}, {"dev-A", "/dev/a"}}, "A", "/dev/a"},  // no port: skipped
    };
    for (const auto& c : cases) {
        devices->present = c.present;
        UsbDongle fresh(UsbDongle::Platform{std::make_unique<FakePort>(journal),
                                            std::make_unique<FakeDevices>(*devices),
                                            std::make_unique<FakeTiming>(journal)});
        WriteFile(dir / "Kestrune.ini", std::string("[USB_DONGLE]\nDEVICE_NAME=") + c.names);
        fresh.Init(&logger);
        EXPECT_EQ(fresh.GetDeviceName(), c.matched) << c.names;
        EXPECT_EQ(fresh.GetPortName(), c.port) << c.names;
    }
}

TEST_F(UsbDongleTest, AListFailureIsReportedWithItsErrno) {
    devices->error = 13;
    Init("[USB_DONGLE]\nDEVICE_NAME=K\n");
    EXPECT_EQ(journal.events.back(), "message デバイス一覧の取得に失敗しました (13)");
}

TEST_F(UsbDongleTest, LongNamesAreCutNotOverflowed) {
    const std::string longName(400, 'n');
    devices->present = {{longName, "/dev/" + std::string(100, 'p')}};
    Init("[USB_DONGLE]\nDEVICE_NAME=nnn\n");
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
    Init("[USB_DONGLE]\nDEVICE_NAME=Kestrune\n[COM_PORT]\nBAUD_RATE=9600\n");
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
    Init("[USB_DONGLE]\nDEVICE_NAME=Kestrune\n");
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
    WriteFile(dir / "ttyUSB0", "");
    ASSERT_EQ(::symlink((dir / "ttyUSB0").c_str(), (dir / "usb-Kestrune-if00").c_str()), 0);
    const std::string node = std::filesystem::canonical(dir / "ttyUSB0");
    const group* dialout = ::getgrnam("dialout");
    const bool owned = dialout != nullptr && ::chown(node.c_str(), -1, dialout->gr_gid) == 0;
    devices->present = {{"usb-Kestrune-if00", dir / "usb-Kestrune-if00"}};
    WriteFile(dir / "Kestrune.ini", "[USB_DONGLE]\nDEVICE_NAME=Kestrune\n");
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
        fresh.Init(&logger);
        fresh.Resume(0);
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

TEST_F(UsbDongleTest, ADeviceChangeWhileIdleIsHandledAtOnce) {
    StartPlaying();
    dongle->ClosePort();
    journal.events.clear();
    dongle->OnDevicesChanged(kStateStopped, 0);
    const std::vector<std::string> expected = {"message デバイスの接続状態が変化しました",
                                               "message 利用デバイス : usb-Kestrune_Dongle-if00",
                                               "open /dev/ttyUSB0",
                                               "configure",
                                               "trace 0 00",
                                               "write 01 01 00"};
    EXPECT_EQ(journal.events, expected);

    journal.events.clear();
    devices->present.clear();
    dongle->OnDevicesChanged(kStateNothingSpecial, 0);
    EXPECT_EQ(journal.Count("message 利用可能デバイスが見つかりませんでした"), 1);
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(UsbDongleTest, ADeviceChangeWhilePlayingWaitsForTheNextTick) {
    StartPlaying();
    LoadScript("10,1,50\n20,0,30\n");
    journal.events.clear();
    dongle->OnDevicesChanged(kStatePlaying, 1500);
    EXPECT_TRUE(journal.events.empty());
    dongle->Tick(1500);
    // Rediscovered, reopened (with the stop of the close first), stop, then the line in
    // force at 1.5 s on the same tick.
    EXPECT_EQ(journal.Count("open"), 1);
    EXPECT_EQ(journal.Count("message デバイスの接続状態が変化しました"), 0);
    ASSERT_GE(journal.events.size(), 2u);
    EXPECT_EQ(journal.events[journal.events.size() - 2], "trace 10 b2");
    EXPECT_EQ(journal.events.back(), "write 01 01 b2");
}

TEST_F(UsbDongleTest, TicksSendTheDueLinesOfTheScript) {
    StartPlaying();
    LoadScript("10,1,50\n20,0,100\n");
    for (int64_t t = 0; t <= 2400; t += 40) dongle->Tick(t);
    EXPECT_EQ(journal.Count("write"), 2);
    EXPECT_EQ(journal.Count("trace 10 b2"), 1);
    EXPECT_EQ(journal.Count("trace 20 64"), 1);
}

TEST_F(UsbDongleTest, AFailedLoadLeavesNoScript) {
    StartPlaying();
    LoadScript("10,1,50\n");
    dongle->LoadPlayFile(dir / "missing.csv");
    ASSERT_NE(dongle->Script(), nullptr);
    EXPECT_TRUE(dongle->Script()->Lines().empty());
    for (int64_t t = 0; t <= 2000; t += 40) dongle->Tick(t);
    EXPECT_EQ(journal.Count("write"), 0);
}

}  // namespace
