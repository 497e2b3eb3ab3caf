// The dongle's settings as the ini gives them: names as written, port settings only when a
// name is given, unset values left as the port has them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configuration/DongleSettings.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

DongleSettings ReadFrom(const std::string& content) {
    const TempDir dir;
    WriteFile(dir / "Kestrune.ini", content);
    return ReadDongleSettings(dir / "Kestrune.ini");
}

TEST(DongleSettings, NamesAndPortSettingsAreReadAsWritten) {
    const DongleSettings s = ReadFrom(
        "[USB_DONGLE]\nDEVICE_NAME=Nope, Kestrune\n[COM_PORT]\nBAUD_RATE=19200\nPARITY=2\n"
        "DTR_CONTROL=enable\nRTS_CONTROL=DISABLE\n");
    // Pieces keep their blanks.
    EXPECT_EQ(s.deviceNames, (std::vector<std::string>{"Nope", " Kestrune"}));
    EXPECT_EQ(s.port.baudRate, 19200);
    EXPECT_EQ(s.port.parity, 2);
    EXPECT_EQ(s.port.dataBits, 0xFF);
    EXPECT_EQ(s.port.stopBits, 0xFF);
    EXPECT_EQ(s.port.dtrControl, -1);  // lower case counts as not set
    EXPECT_EQ(s.port.rtsControl, 0);
}

TEST(DongleSettings, WithoutDeviceNamesThePortSettingsAreNotRead) {
    for (const char* content : {"[COM_PORT]\nBAUD_RATE=9600\n",
                                "[USB_DONGLE]\nDEVICE_NAME=\n[COM_PORT]\nBAUD_RATE=9600\n", ""}) {
        const DongleSettings s = ReadFrom(content);
        EXPECT_TRUE(s.deviceNames.empty()) << content;
        EXPECT_EQ(s.port.baudRate, -1) << content;
    }
}

TEST(DongleSettings, AMissingFileGivesNoNames) {
    const TempDir dir;
    EXPECT_TRUE(ReadDongleSettings(dir / "absent.ini").deviceNames.empty());
}

}  // namespace
