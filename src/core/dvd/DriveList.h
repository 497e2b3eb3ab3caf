#pragma once

// The drives a user can pick a disc from: block devices from sysfs, classed by kind, and
// network file systems from the mount table, each with a name fit for a list. Free
// functions with no state; the drive picker calls ListDrives each time it fills its list.

#include <string>
#include <string_view>
#include <vector>

// Drive kinds, as bits of a mask.
inline constexpr int kDriveFixed = 0x01;
inline constexpr int kDriveOptical = 0x02;  // CD/DVD
inline constexpr int kDriveRemovable = 0x04;
inline constexpr int kDriveNetwork = 0x08;
inline constexpr int kDriveRam = 0x10;
inline constexpr int kDriveAll = 0x1F;

struct DriveInfo {
    std::string path;  // the device node, or the mount point of a network drive
    int type;          // one of the kDrive* bits
    std::string displayName;
};

// Where the system describes its drives; tests point these at prepared trees.
struct DriveRoots {
    std::string sysBlock = "/sys/block";
    std::string mounts = "/proc/mounts";
    std::string udevData = "/run/udev/data";
};

// The drives whose kind is in `driveTypes`, sorted by path with numbers in numeric order
// (sr2 before sr10), each once. A block device is a CD/DVD drive when it is named "sr" or
// udev has marked it ID_CDROM=1. A root that cannot be read contributes nothing.
[[nodiscard]] std::vector<DriveInfo> ListDrives(int driveTypes, const DriveRoots& roots = {});

// A field of the mount table with its octal escapes decoded: the kernel writes space, tab,
// newline and backslash in names as \040, \011, \012 and \134.
[[nodiscard]] std::string UnescapeMountField(std::string_view field);

// The value of property `key` in a udev database record (the content of /run/udev/data/bM:m),
// from the first "E:KEY=VALUE" line, trimmed; empty if there is none.
[[nodiscard]] std::string UdevRecordProperty(std::string_view record, std::string_view key);
