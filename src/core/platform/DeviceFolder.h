#pragma once

// The list of serial devices present: a folder whose entries are the devices, each named by
// its friendly name and resolving to the device's port. An interface so that the device
// link can be tested with a prepared list; DirectoryDeviceFolder is the real one.

#include <string>
#include <vector>

namespace platform {

struct SerialDevice {
    std::string friendlyName;
    std::string portName;  // the device path; empty when the entry does not resolve
};

class DeviceFolder {
public:
    virtual ~DeviceFolder() = default;
    // Fills `devices` in a stable order; 0, or the errno when the list cannot be read. A
    // missing folder is an empty list.
    [[nodiscard]] virtual int List(std::vector<SerialDevice>& devices) const = 0;
};

class DirectoryDeviceFolder final : public DeviceFolder {
public:
    explicit DirectoryDeviceFolder(std::string folder) : folder_(std::move(folder)) {}
    [[nodiscard]] int List(std::vector<SerialDevice>& devices) const override;
    [[nodiscard]] const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

// $KESTRUNE_SERIAL_DIR when set, else /dev/serial/by-id.
[[nodiscard]] std::string SerialDeviceDirectory();

}  // namespace platform
