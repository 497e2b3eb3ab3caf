#include "device/UsbDongle.h"

#include <cerrno>

#include "log/Logger.h"
#include "platform/DeviceAccess.h"
#include "platform/PosixSerialPort.h"

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

// The port is closed by the main window before.
UsbDongle::~UsbDongle() = default;

void UsbDongle::Init(Logger* log, const DongleSettings& settings) {
    logger = log;
    deviceNames = settings.deviceNames;
    if (deviceNames.empty()) {
        logger->LogMessage("利用可能なデバイス名がありません");
        return;
    }
    logger->LogMessage("利用可能デバイス名 : %s", Join(deviceNames).c_str());
    portSettings = settings.port;
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

bool UsbDongle::Reattach() {
    if (Discover()) {
        OpenPort();
        SendStop();
        return true;
    }
    timing->Sleep(kCloseDelayMs);
    ClosePort();
    return false;
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
