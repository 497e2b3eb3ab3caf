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
    : port_(std::move(platform.port)),
      devices_(std::move(platform.devices)),
      timing_(std::move(platform.timing)) {}

// The main window closes the port before. One still open here (an early end) gets the stop
// packet, untraced: the logger may be gone by now.
UsbDongle::~UsbDongle() {
    if (!port_->IsOpen()) return;
    WaitForSpacing();
    packet_[2] = 0;
    [[maybe_unused]] const auto written = port_->Write(packet_, sizeof packet_, kWriteTimeoutMs);
    port_->Close();
}

void UsbDongle::WaitForSpacing() {
    if (lastSendTime_ == 0) return;
    const uint32_t since = timing_->TickMs() - lastSendTime_;
    if (since < kPacketSpacingMs) timing_->Sleep(kPacketSpacingMs - since);
}

void UsbDongle::Init(Logger* log, const DongleSettings& settings) {
    logger_ = log;
    deviceNames_ = settings.deviceNames;
    if (deviceNames_.empty()) {
        logger_->LogMessage("利用可能なデバイス名がありません");
        return;
    }
    logger_->LogMessage("利用可能デバイス名 : %s", Join(deviceNames_).c_str());
    portSettings_ = settings.port;
    Discover();
}

bool UsbDongle::Discover() {
    record_ = DeviceRecord{};
    std::vector<platform::SerialDevice> present;
    if (const int error = devices_->List(present)) {
        logger_->LogMessage("デバイス一覧の取得に失敗しました (%d)", error);
        return false;
    }
    for (const auto& device : present) {
        for (const auto& name : deviceNames_) {
            // An empty name matches every device.
            if (device.friendlyName.find(name) == std::string::npos) continue;
            // An entry that no longer resolves has no port: try the next name.
            if (device.portName.empty()) continue;
            record_.matchedName = Cut(name, DeviceRecord::kMaxName);
            record_.portName = Cut(device.portName, DeviceRecord::kMaxPort);
            record_.friendlyName = Cut(device.friendlyName, DeviceRecord::kMaxName);
            logger_->LogMessage("利用デバイス : %s", record_.friendlyName.c_str());
            return true;
        }
    }
    logger_->LogMessage("利用可能デバイスが見つかりませんでした");
    return false;
}

bool UsbDongle::Reattach() {
    if (Discover()) {
        OpenPort();
        SendStop();
        return true;
    }
    timing_->Sleep(kCloseDelayMs);
    ClosePort();
    return false;
}

void UsbDongle::OpenPort() {
    if (record_.portName.empty()) return;
    if (port_->IsOpen()) ClosePort();
    if (const int error = port_->Open(record_.portName)) {
        logger_->LogMessage("COMポート(%s)がオープンできませんでした (%d)",
                            record_.portName.c_str(), error);
        if ((error == EACCES || error == EPERM) && onAccessDenied_ && !accessDeniedShown_) {
            accessDeniedShown_ = true;
            const auto node = platform::LookUpDeviceNode(record_.portName);
            onAccessDenied_(node.path, node.group);
        }
        return;
    }
    if (const int error = port_->Configure(portSettings_)) {
        port_->Close();
        logger_->LogMessage("COMポート(%s)の通信設定ができませんでした (%d)",
                            record_.portName.c_str(), error);
    }
}

void UsbDongle::ClosePort() {
    if (!port_->IsOpen()) return;
    SendStop();
    timing_->Sleep(kCloseDelayMs);
    port_->Close();
}

void UsbDongle::SendCommand(uint8_t command, int64_t time) {
    if (!port_->IsOpen() || time < 0) return;
    WaitForSpacing();
    lastSendTime_ = timing_->TickMs();
    packet_[2] = command;
    // The trace comes first, so a packet whose write fails is traced too.
    logger_->LogCommand(time, packet_);
    // A device that stops taking bytes must not hang the user interface: the wait is
    // bounded, and a timeout counts as a failed write.
    if (port_->Write(packet_, sizeof packet_, kWriteTimeoutMs) != platform::WriteResult::kWritten) {
        Reconnect();
    }
}

void UsbDongle::Reconnect() {
    if (port_->IsOpen()) {
        timing_->Sleep(kCloseDelayMs);
        port_->Close();
    }
    if (Discover()) OpenPort();
}
