#include "device/UsbDongle.h"

#include "app/Profile.h"
#include "log/Logger.h"
#include "player/VlcPlayer.h"

namespace {

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (const auto& name : names) {
        if (!joined.empty()) joined += ", ";
        joined += name;
    }
    return joined;
}

}  // namespace

void UsbDongle::Init(Logger* log) {
    logger = log;
    profile::ReadProfileList("USB_DONGLE", "DEVICE_NAME", "", deviceNames);
    if (deviceNames.empty()) {
        logger->LogMessage("利用可能なデバイス名がありません");
        return;
    }
    logger->LogMessage("利用可能デバイス名 : %s", Join(deviceNames).c_str());

    portSettings.baudRate = profile::GetInt("COM_PORT", "BAUD_RATE", -1);
    portSettings.parity = static_cast<uint8_t>(profile::GetInt("COM_PORT", "PARITY", -1));
    portSettings.dataBits = static_cast<uint8_t>(profile::GetInt("COM_PORT", "DATA_BITS", -1));
    portSettings.stopBits = static_cast<uint8_t>(profile::GetInt("COM_PORT", "STOP_BITS", -1));
    portSettings.dtrControl = profile::GetKeyword("COM_PORT", "DTR_CONTROL");
    portSettings.rtsControl = profile::GetKeyword("COM_PORT", "RTS_CONTROL");
}

void UsbDongle::OnDevicesChanged(int playerState, int64_t) {
    devicesChanged = true;
    switch (playerState) {
        case kStateNothingSpecial:
        case kStatePaused:
        case kStateStopped:
        case kStateEnded:
            logger->LogMessage("デバイスの接続状態が変化しました");
            break;
        default:
            break;
    }
}

void UsbDongle::ClosePort() {}

void UsbDongle::SendStop() {}

void UsbDongle::SetMediaReady(int64_t) { mediaReady = true; }

void UsbDongle::Resume(int64_t) {}
