#pragma once

// What the ini says about the dongle: the names to look for among the serial devices and
// the port settings to apply. Read once at start-up and handed to the device link.

#include <string>
#include <vector>

#include "configuration/Profile.h"
#include "platform/SerialPort.h"

struct DongleSettings {
    std::vector<std::string> deviceNames;
    // Left at "not set" when there are no device names: nothing would use them.
    platform::PortSettings port;
};

// [USB_DONGLE] DEVICE_NAME, then, when it names any device, [COM_PORT] BAUD_RATE, PARITY,
// DATA_BITS, STOP_BITS, DTR_CONTROL and RTS_CONTROL.
[[nodiscard]] DongleSettings ReadDongleSettings(const std::string& file = profile::IniFile());
