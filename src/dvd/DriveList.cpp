#include "dvd/DriveList.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string_view>

namespace {

std::string Trim(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n";
    const size_t first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(kSpace);
    return std::string(text.substr(first, last - first + 1));
}

// The trimmed content of a small attribute file; empty when it cannot be read.
std::string ReadAttribute(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream content;
    content << in.rdbuf();
    return Trim(content.str());
}

bool HasPrefix(const std::string& name, std::initializer_list<std::string_view> prefixes) {
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view prefix) { return name.starts_with(prefix); });
}

int BlockDeviceType(const std::string& name, const std::string& folder) {
    if (name.starts_with("sr")) return kDriveOptical;
    if (HasPrefix(name, {"ram", "zram", "brd"})) return kDriveRam;
    if (ReadAttribute(folder + "/removable") == "1") return kDriveRemovable;
    return kDriveFixed;
}

// The file system label udev recorded for the device numbered "major:minor"; empty if none.
std::string VolumeLabel(const std::string& udevData, const std::string& majorMinor) {
    if (majorMinor.empty()) return {};
    std::ifstream in(udevData + "/b" + majorMinor);
    constexpr std::string_view kKey = "E:ID_FS_LABEL=";
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with(kKey)) return Trim(std::string_view(line).substr(kKey.size()));
    }
    return {};
}

std::string BlockDeviceName(const std::string& name, const std::string& folder,
                            const std::string& udevData) {
    std::string label = VolumeLabel(udevData, ReadAttribute(folder + "/dev"));
    if (label.empty()) {
        const std::string vendor = ReadAttribute(folder + "/device/vendor");
        const std::string model = ReadAttribute(folder + "/device/model");
        label = vendor.empty() || model.empty() ? vendor + model : vendor + " " + model;
    }
    return label.empty() ? name : label;
}

void AddBlockDevices(const DriveRoots& roots, int driveTypes, std::vector<DriveInfo>& drives) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(roots.sysBlock, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        const std::string folder = roots.sysBlock + "/" + name;
        // Every loop device exists from boot; only those with a file attached are drives.
        if (name.starts_with("loop") && ReadAttribute(folder + "/size") == "0") continue;
        const int type = BlockDeviceType(name, folder);
        if ((type & driveTypes) == 0) continue;
        // sysfs writes the '/' of nested device names (cciss/c0d0) as '!'.
        std::string path = "/dev/" + name;
        std::replace(path.begin(), path.end(), '!', '/');
        drives.push_back(
            {path, type, BlockDeviceName(name, folder, roots.udevData) + " (" + path + ")"});
    }
}

// The mount table writes space, tab, newline and backslash as three-digit octal escapes.
std::string Unescape(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + i + 1, field.begin() + i + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

bool IsNetworkFileSystem(const std::string& fsType) {
    static constexpr std::array<std::string_view, 12> kTypes = {
        "nfs",        "nfs4", "cifs", "smb3", "smbfs",     "sshfs",
        "fuse.sshfs", "9p",   "afs",  "ceph", "glusterfs", "davfs"};
    return std::find(kTypes.begin(), kTypes.end(), fsType) != kTypes.end();
}

void AddNetworkDrives(const DriveRoots& roots, std::vector<DriveInfo>& drives) {
    std::vector<DriveInfo> mounted;
    std::ifstream in(roots.mounts);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string source, target, fsType;
        if (!(fields >> source >> target >> fsType) || !IsNetworkFileSystem(fsType)) continue;
        target = Unescape(target);
        mounted.push_back({target, kDriveNetwork, Unescape(source) + " (" + target + ")"});
    }
    // Of a folder mounted over several times the last mount is the one seen; listed first, it
    // is the one kept when duplicates go.
    drives.insert(drives.end(), mounted.rbegin(), mounted.rend());
}

}  // namespace

std::vector<DriveInfo> ListDrives(int driveTypes, const DriveRoots& roots) {
    std::vector<DriveInfo> drives;
    AddBlockDevices(roots, driveTypes, drives);
    if ((driveTypes & kDriveNetwork) != 0) AddNetworkDrives(roots, drives);
    std::stable_sort(drives.begin(), drives.end(),
                     [](const DriveInfo& a, const DriveInfo& b) { return a.path < b.path; });
    drives.erase(
        std::unique(drives.begin(), drives.end(),
                    [](const DriveInfo& a, const DriveInfo& b) { return a.path == b.path; }),
        drives.end());
    return drives;
}
