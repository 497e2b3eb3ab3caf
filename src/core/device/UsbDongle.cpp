#include "device/UsbDongle.h"

#include <cerrno>

#include "configuration/Profile.h"
#include "log/Logger.h"
#include "platform/DeviceAccess.h"
#include "platform/PosixSerialPort.h"
#include "player/TimecodeAdjuster.h"

namespace {

std::string Join(const std::vector<std::string>& names) {
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) joined += ", ";
        joined += names[i];
    }
    return joined;
}

std::string Cut(const std::string& text, size_t limit) {
    return text.size() <= limit ? text : text.substr(0, limit);
}

UsbDongle::Platform SystemPlatform() {
    return {std::make_unique<platform::PosixSerialPort>(),
            std::make_unique<platform::DirectoryDeviceFolder>(platform::SerialDeviceDirectory()),
            std::make_unique<platform::SystemTiming>()};
}

}  // namespace

UsbDongle::UsbDongle() : UsbDongle(SystemPlatform()) {}

UsbDongle::UsbDongle(Platform platform)
    : port(std::move(platform.port)),
      devices(std::move(platform.devices)),
      timing(std::move(platform.timing)) {}

// The port is closed by the main window before; the script goes with the link.
UsbDongle::~UsbDongle() = default;

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
    Discover();
}

bool UsbDongle::Discover() {
    record = DeviceRecord{};
    std::vector<platform::SerialDevice> present;
    if (const int error = devices->List(present)) {
        logger->LogMessage("デバイス一覧の取得に失敗しました (%d)", error);
        return false;
    }
    for (const auto& device : present) {
        for (const auto& name : deviceNames) {
            // An empty name matches every device.
            if (device.friendlyName.find(name) == std::string::npos) continue;
            // An entry that no longer resolves has no port: try the next name.
            if (device.portName.empty()) continue;
            record.matchedName = Cut(name, DeviceRecord::kMaxName);
            record.portName = Cut(device.portName, DeviceRecord::kMaxPort);
            record.friendlyName = Cut(device.friendlyName, DeviceRecord::kMaxName);
            logger->LogMessage("利用デバイス : %s", record.friendlyName.c_str());
            return true;
        }
    }
    logger->LogMessage("利用可能デバイスが見つかりませんでした");
    return false;
}

void UsbDongle::OnDevicesChanged(int playerState, int64_t t) {
    devicesChanged = true;
    switch (playerState) {
        case kStateNothingSpecial:
        case kStatePaused:
        case kStateStopped:
        case kStateEnded:
            logger->LogMessage("デバイスの接続状態が変化しました");
            HandleDeviceChange(t);
            break;
        default:  // opening, buffering, playing, error: the next tick handles it
            break;
    }
}

void UsbDongle::HandleDeviceChange(int64_t t) {
    if (!devicesChanged) return;
    devicesChanged = false;
    if (Discover()) {
        OpenPort();
        SendStop();
        Reposition(t);
    } else {
        timing->Sleep(kCloseDelayMs);
        ClosePort();
    }
}

bool UsbDongle::LoadPlayFile(const std::string& path) {
    script = std::make_unique<PlayScript>(logger);
    return script->Load(path);
}

void UsbDongle::SetMediaReady(int64_t) { mediaReady = true; }

void UsbDongle::Tick(int64_t t) {
    if (devicesChanged) HandleDeviceChange(t);
    if (!script) return;
    if (const auto due = script->Advance(t)) SendCommand(due->command, due->time);
}

void UsbDongle::Resume(int64_t t) {
    Reposition(t);
    OpenPort();
}

void UsbDongle::Reposition(int64_t t) {
    if (script) script->Seek(t);
}

void UsbDongle::OpenPort() {
    if (record.portName.empty()) return;
    if (port->IsOpen()) ClosePort();
    if (const int error = port->Open(record.portName)) {
        logger->LogMessage("COMポート(%s)がオープンできませんでした (%d)", record.portName.c_str(),
                           error);
        if ((error == EACCES || error == EPERM) && onAccessDenied && !accessDeniedShown) {
            accessDeniedShown = true;
            const auto node = platform::LookUpDeviceNode(record.portName);
            onAccessDenied(node.path, node.group);
        }
        return;
    }
    if (const int error = port->Configure(portSettings)) {
        port->Close();
        logger->LogMessage("COMポート(%s)の通信設定ができませんでした (%d)",
                           record.portName.c_str(), error);
    }
}

void UsbDongle::ClosePort() {
    if (!port->IsOpen()) return;
    SendStop();
    timing->Sleep(kCloseDelayMs);
    port->Close();
}

void UsbDongle::SendCommand(uint8_t command, int64_t time) {
    if (!port->IsOpen() || time < 0) return;
    if (lastSendTime != 0) {
        const uint32_t since = timing->TickMs() - lastSendTime;
        if (since < kPacketSpacingMs) timing->Sleep(kPacketSpacingMs - since);
    }
    lastSendTime = timing->TickMs();
    packet[2] = command;
    // The trace comes first, so a packet whose write fails is traced too.
    logger->LogCommand(time, packet);
    // A device that stops taking bytes must not hang the user interface: the wait is
    // bounded, and a timeout counts as a failed write.
    if (port->Write(packet, sizeof packet, kWriteTimeoutMs) != platform::WriteResult::kWritten) {
        Reconnect();
    }
}

void UsbDongle::Reconnect() {
    if (port->IsOpen()) {
        timing->Sleep(kCloseDelayMs);
        port->Close();
    }
    if (Discover()) OpenPort();
}
