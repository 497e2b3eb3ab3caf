#pragma once

// Who may open a device node: what the device link tells the user when the dongle's port is
// refused for lack of permission (on Linux a serial device belongs to a group, usually
// dialout, that the user must be in).

#include <string>

namespace platform {

// The device node `path` resolves to (symbolic links followed; `path` itself when it does
// not resolve) and the name of the group that owns it (empty when unknown).
struct DeviceNode {
    std::string path;
    std::string group;
};

[[nodiscard]] DeviceNode LookUpDeviceNode(const std::string& path);

// The login name of the user running the program; empty when unknown.
[[nodiscard]] std::string UserName();

}  // namespace platform
