#include "platform/DeviceFolder.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

namespace platform {

int DirectoryDeviceFolder::List(std::vector<SerialDevice>& devices) const {
    devices.clear();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder_.c_str()), ::closedir);
    if (!dir) return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    errno = 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        SerialDevice device{name, {}};
        char resolved[PATH_MAX];
        if (::realpath((folder_ + "/" + name).c_str(), resolved) != nullptr) {
            device.portName = resolved;
        }
        devices.push_back(std::move(device));
    }
    std::sort(devices.begin(), devices.end(),
              [](const auto& a, const auto& b) { return a.friendlyName < b.friendlyName; });
    return 0;
}

std::string SerialDeviceDirectory() {
    const char* folder = std::getenv("KESTRUNE_SERIAL_DIR");
    return folder != nullptr && folder[0] != '\0' ? folder : "/dev/serial/by-id";
}

}  // namespace platform
