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

// The property `key` of the block device numbered "major:minor"; empty if none.
std::string UdevProperty(const std::string& udevData, const std::string& majorMinor,
                         std::string_view key) {
    if (majorMinor.empty()) return {};
    std::ifstream in(udevData + "/b" + majorMinor, std::ios::binary);
    if (!in) return {};
    std::ostringstream record;
    record << in.rdbuf();
    return UdevRecordProperty(record.str(), key);
}

// udev knows CD/DVD drives that are not named "sr" (some USB drives, other drivers).
int BlockDeviceType(const std::string& name, const std::string& folder, const std::string& udevData,
                    const std::string& majorMinor) {
    if (name.starts_with("sr") || UdevProperty(udevData, majorMinor, "ID_CDROM") == "1") {
        return kDriveOptical;
    }
    if (HasPrefix(name, {"ram", "zram", "brd"})) return kDriveRam;
    if (ReadAttribute(folder + "/removable") == "1") return kDriveRemovable;
    return kDriveFixed;
}

std::string BlockDeviceName(const std::string& name, const std::string& folder,
                            const std::string& udevData, const std::string& majorMinor) {
    std::string label = UdevProperty(udevData, majorMinor, "ID_FS_LABEL");
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
        const std::string majorMinor = ReadAttribute(folder + "/dev");
        const int type = BlockDeviceType(name, folder, roots.udevData, majorMinor);
        if ((type & driveTypes) == 0) continue;
        // sysfs writes the '/' of nested device names (cciss/c0d0) as '!'.
        std::string path = "/dev/" + name;
        std::replace(path.begin(), path.end(), '!', '/');
        drives.push_back(
            {path, type,
             BlockDeviceName(name, folder, roots.udevData, majorMinor) + " (" + path + ")"});
    }
}

bool IsNetworkFileSystem(std::string_view fsType) {
    static constexpr std::array<std::string_view, 12> kTypes = {
        "nfs",        "nfs4", "cifs", "smb3", "smbfs",     "sshfs",
        "fuse.sshfs", "9p",   "afs",  "ceph", "glusterfs", "davfs"};
    return std::find(kTypes.begin(), kTypes.end(), fsType) != kTypes.end();
}

// The first three fields of a mount table line. The kernel puts a space between fields and
// escapes the spaces, tabs and newlines in names; any other byte, a carriage return say, is
// part of the name.
bool MountFields(std::string_view line, std::string_view (&fields)[3]) {
    for (std::string_view& field : fields) {
        const size_t start = std::min(line.find_first_not_of(' '), line.size());
        const size_t end = std::min(line.find(' ', start), line.size());
        if (start == end) return false;
        field = line.substr(start, end - start);
        line.remove_prefix(end);
    }
    return true;
}

void AddNetworkDrives(const DriveRoots& roots, std::vector<DriveInfo>& drives) {
    std::vector<DriveInfo> mounted;
    std::ifstream in(roots.mounts);
    for (std::string line; std::getline(in, line);) {
        std::string_view fields[3];  // source, mount point, type
        if (!MountFields(line, fields) || !IsNetworkFileSystem(fields[2])) continue;
        const std::string target = UnescapeMountField(fields[1]);
        mounted.push_back(
            {target, kDriveNetwork, UnescapeMountField(fields[0]) + " (" + target + ")"});
    }
    // Of a folder mounted over several times the last mount is the one seen; listed first, it
    // is the one kept when duplicates go.
    drives.insert(drives.end(), mounted.rbegin(), mounted.rend());
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Orders paths as people count: /dev/sr2 before /dev/sr10. A run of digits compares by its
// value, then ("1", "01") by its length, so only equal paths are equivalent; anything else
// byte by byte.
bool NaturalLess(std::string_view a, std::string_view b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (!IsDigit(a[i]) || !IsDigit(b[j])) {
            if (a[i] != b[j]) {
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            }
            ++i;
            ++j;
            continue;
        }
        const size_t endA = std::find_if_not(a.begin() + i, a.end(), IsDigit) - a.begin();
        const size_t endB = std::find_if_not(b.begin() + j, b.end(), IsDigit) - b.begin();
        const std::string_view runA = a.substr(i, endA - i);
        const std::string_view runB = b.substr(j, endB - j);
        const std::string_view valueA =
            runA.substr(std::min(runA.find_first_not_of('0'), runA.size()));
        const std::string_view valueB =
            runB.substr(std::min(runB.find_first_not_of('0'), runB.size()));
        if (valueA.size() != valueB.size()) return valueA.size() < valueB.size();
        if (valueA != valueB) return valueA < valueB;
        if (runA.size() != runB.size()) return runA.size() < runB.size();
        i = endA;
        j = endB;
    }
    return i == a.size() && j < b.size();
}

}  // namespace

std::string UnescapeMountField(std::string_view field) {
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

std::string UdevRecordProperty(std::string_view record, std::string_view key) {
    while (!record.empty()) {
        const size_t end = std::min(record.find('\n'), record.size());
        const std::string_view entry = record.substr(0, end);
        record.remove_prefix(std::min(end + 1, record.size()));
        if (entry.starts_with("E:") && entry.substr(2).starts_with(key) &&
            entry.substr(2 + key.size()).starts_with('=')) {
            return Trim(entry.substr(3 + key.size()));
        }
    }
    return {};
}

std::vector<DriveInfo> ListDrives(int driveTypes, const DriveRoots& roots) {
    std::vector<DriveInfo> drives;
    AddBlockDevices(roots, driveTypes, drives);
    if ((driveTypes & kDriveNetwork) != 0) AddNetworkDrives(roots, drives);
    std::stable_sort(drives.begin(), drives.end(), [](const DriveInfo& a, const DriveInfo& b) {
        return NaturalLess(a.path, b.path);
    });
    drives.erase(
        std::unique(drives.begin(), drives.end(),
                    [](const DriveInfo& a, const DriveInfo& b) { return a.path == b.path; }),
        drives.end());
    return drives;
}
