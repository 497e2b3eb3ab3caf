#include "configuration/DongleSettings.h"

DongleSettings ReadDongleSettings(const std::string& file) {
    DongleSettings settings;
    profile::ReadProfileList("USB_DONGLE", "DEVICE_NAME", "", settings.deviceNames, file);
    if (settings.deviceNames.empty()) return settings;

    platform::PortSettings& port = settings.port;
    port.baudRate = profile::GetInt("COM_PORT", "BAUD_RATE", -1, file);
    port.parity = static_cast<uint8_t>(profile::GetInt("COM_PORT", "PARITY", -1, file));
    port.dataBits = static_cast<uint8_t>(profile::GetInt("COM_PORT", "DATA_BITS", -1, file));
    port.stopBits = static_cast<uint8_t>(profile::GetInt("COM_PORT", "STOP_BITS", -1, file));
    port.dtrControl = profile::GetKeyword("COM_PORT", "DTR_CONTROL", file);
    port.rtsControl = profile::GetKeyword("COM_PORT", "RTS_CONTROL", file);
    return settings;
}
