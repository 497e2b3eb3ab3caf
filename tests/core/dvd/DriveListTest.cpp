#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dvd/DriveList.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

// A sysfs block folder, a mount table and a udev database as a machine with a hard disk, two
// DVD drives (one holding a labelled disc), a memory stick, a compressed RAM disk, an unused
// and a used loop device and one NFS share would show them.
class DriveListTest : public ::testing::Test {
protected:
    DriveListTest() {
        Device("sda", {{"size", "976773168\n"},
                       {"removable", "0\n"},
                       {"dev", "8:0\n"},
                       {"device/vendor", "ATA     \n"},
                       {"device/model", "DISK 1TB        \n"}});
        Device("sdb", {{"size", "30031872\n"}, {"removable", "1\n"}, {"dev", "8:16\n"}});
        Device("sr0", {{"size", "8491520\n"},
                       {"removable", "1\n"},
                       {"dev", "11:0\n"},
                       {"device/vendor", "OTHER\n"},
                       {"device/model", "DRIVE\n"}});
        Device("sr1", {{"size", "0\n"},
                       {"removable", "1\n"},
                       {"dev", "11:1\n"},
                       {"device/vendor", "ACME    \n"},
                       {"device/model", "DVD-RW DX100  \n"}});
        Device("zram0", {{"size", "16777216\n"}, {"removable", "0\n"}, {"dev", "252:0\n"}});
        Device("loop0", {{"size", "0\n"}, {"removable", "0\n"}, {"dev", "7:0\n"}});
        Device("loop1", {{"size", "2048\n"}, {"removable", "0\n"}, {"dev", "7:1\n"}});
        WriteFile(roots.mounts,
                  "/dev/sda2 / ext4 rw,relatime 0 0\n"
                  "proc /proc proc rw,nosuid 0 0\n"
                  "server:/export /mnt/share nfs rw,vers=3 0 0\n");
        std::filesystem::create_directories(roots.udevData);
        WriteFile(roots.udevData + "/b11:0", "S:disk/by-label/MY_MOVIE\nE:ID_FS_LABEL=MY_MOVIE\n");
        WriteFile(roots.udevData + "/b11:1", "E:ID_CDROM=1\n");
    }

    void Device(const std::string& name,
                const std::vector<std::pair<std::string, std::string>>& files) {
        std::filesystem::create_directories(roots.sysBlock + "/" + name + "/device");
        for (const auto& [file, content] : files) {
            WriteFile(roots.sysBlock + "/" + name + "/" + file, content);
        }
    }

    static std::vector<std::string> Paths(const std::vector<DriveInfo>& drives) {
        std::vector<std::string> paths;
        for (const DriveInfo& drive : drives) paths.push_back(drive.path);
        return paths;
    }

    TempDir dir;
    DriveRoots roots{dir / "block", dir / "mounts", dir / "udev"};
};

TEST_F(DriveListTest, MaskSelectsKindsInPathOrder) {
    struct Case {
        int mask;
        std::vector<std::string> paths;
    } cases[] = {
        {kDriveFixed, {"/dev/loop1", "/dev/sda"}},
        {kDriveOptical, {"/dev/sr0", "/dev/sr1"}},
        {kDriveRemovable, {"/dev/sdb"}},
        {kDriveNetwork, {"/mnt/share"}},
        {kDriveRam, {"/dev/zram0"}},
        {kDriveFixed | kDriveNetwork, {"/dev/loop1", "/dev/sda", "/mnt/share"}},
        {kDriveAll,
         {"/dev/loop1", "/dev/sda", "/dev/sdb", "/dev/sr0", "/dev/sr1", "/dev/zram0",
          "/mnt/share"}},
        {0, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths(ListDrives(c.mask, roots)), c.paths) << "mask " << c.mask;
    }
}

TEST_F(DriveListTest, DrivesAreNamedByLabelElseVendorAndModelElseDevice) {
    struct Expected {
        int type;
        std::string displayName;
    };
    const std::vector<Expected> expected = {
        {kDriveFixed, "loop1 (/dev/loop1)"},
        {kDriveFixed, "ATA DISK 1TB (/dev/sda)"},
        {kDriveRemovable, "sdb (/dev/sdb)"},
        {kDriveOptical, "MY_MOVIE (/dev/sr0)"},
        {kDriveOptical, "ACME DVD-RW DX100 (/dev/sr1)"},
        {kDriveRam, "zram0 (/dev/zram0)"},
        {kDriveNetwork, "server:/export (/mnt/share)"},
    };
    const std::vector<DriveInfo> drives = ListDrives(kDriveAll, roots);
    ASSERT_EQ(drives.size(), expected.size());
    for (size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].type, expected[i].type) << drives[i].path;
        EXPECT_EQ(drives[i].displayName, expected[i].displayName);
    }
}

// The kernel escapes space, tab, newline and backslash in the mount table; any other byte (a
// carriage return, a vertical tab, a form feed) stands as it is and is part of the name.
TEST_F(DriveListTest, NetworkMountsAreDecodedAndListedOnce) {
    WriteFile(roots.mounts,
              "//nas/Films /mnt/my\\040films cifs rw 0 0\n"
              "user@host:/srv /home/u/remote fuse.sshfs rw 0 0\n"
              "old:/export /mnt/share nfs4 rw 0 0\n"
              "new:/export /mnt/share nfs4 rw 0 0\n"
              "tmpfs /tmp tmpfs rw 0 0\n"
              "truncated-line nfs\n"
              "nas:/a\rb /mnt/cr\r nfs rw 0 0\n"
              "nas:/x\\134y /mnt/tab\\011and\vvt\f cifs rw 0 0\n");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"/home/u/remote", "user@host:/srv (/home/u/remote)"},
        {"/mnt/cr\r", "nas:/a\rb (/mnt/cr\r)"},
        {"/mnt/my films", "//nas/Films (/mnt/my films)"},
        // The later mount hides the earlier one.
        {"/mnt/share", "new:/export (/mnt/share)"},
        {"/mnt/tab\tand\vvt\f", "nas:/x\\y (/mnt/tab\tand\vvt\f)"},
    };
    const std::vector<DriveInfo> drives = ListDrives(kDriveNetwork, roots);
    ASSERT_EQ(drives.size(), expected.size());
    for (size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].path, expected[i].first);
        EXPECT_EQ(drives[i].displayName, expected[i].second);
    }
}

// Numbers in device names and mount points count: sr2 comes before sr10, nvme0n2 before
// nvme0n10 and nvme1n1; "01" and "1" stay two drives.
TEST_F(DriveListTest, PathsAreInNumericOrder) {
    for (const char* name : {"sr10", "sr2", "sr11", "nvme1n1", "nvme0n10", "nvme0n2", "nvme0n1"}) {
        Device(name, {{"size", "2048\n"}, {"removable", "0\n"}});
    }
    WriteFile(roots.mounts,
              "a:/x /mnt/disc10 nfs rw 0 0\n"
              "a:/y /mnt/disc01 nfs rw 0 0\n"
              "a:/z /mnt/disc1 nfs rw 0 0\n"
              "a:/w /mnt/disc2a nfs rw 0 0\n"
              "a:/v /mnt/disc2 nfs rw 0 0\n");
    struct Case {
        int mask;
        std::vector<std::string> paths;
    } cases[] = {
        {kDriveOptical, {"/dev/sr0", "/dev/sr1", "/dev/sr2", "/dev/sr10", "/dev/sr11"}},
        {kDriveFixed,
         {"/dev/loop1", "/dev/nvme0n1", "/dev/nvme0n2", "/dev/nvme0n10", "/dev/nvme1n1",
          "/dev/sda"}},
        {kDriveNetwork, {"/mnt/disc1", "/mnt/disc01", "/mnt/disc2", "/mnt/disc2a", "/mnt/disc10"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths(ListDrives(c.mask, roots)), c.paths) << "mask " << c.mask;
    }
}

// udev marks CD/DVD drives whatever the kernel names them; only ID_CDROM=1 itself counts.
TEST_F(DriveListTest, UdevCdromDrivesAreOptical) {
    Device("sdc", {{"removable", "1\n"}, {"dev", "8:32\n"}});
    WriteFile(roots.udevData + "/b8:32", "S:cdrom\nE:ID_CDROM=1\nE:ID_FS_LABEL=HOLIDAY\n");
    Device("sdd", {{"removable", "1\n"}, {"dev", "8:48\n"}});
    WriteFile(roots.udevData + "/b8:48", "E:ID_CDROM_DVD=1\nE:ID_CDROM=0\nID_CDROM=1\n");
    Device("vdb", {{"removable", "0\n"}, {"dev", "252:16\n"}});
    WriteFile(roots.udevData + "/b252:16", "E:ID_CDROM=1\n");
    // A device whose dev file is missing has no udev entry to read.
    Device("vdc", {{"removable", "0\n"}});
    WriteFile(roots.udevData + "/b", "E:ID_CDROM=1\n");

    struct Case {
        int mask;
        std::vector<std::string> paths;
    } cases[] = {
        {kDriveOptical, {"/dev/sdc", "/dev/sr0", "/dev/sr1", "/dev/vdb"}},
        {kDriveRemovable, {"/dev/sdb", "/dev/sdd"}},
        {kDriveFixed, {"/dev/loop1", "/dev/sda", "/dev/vdc"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths(ListDrives(c.mask, roots)), c.paths) << "mask " << c.mask;
    }
    EXPECT_EQ(ListDrives(kDriveOptical, roots)[0].displayName, "HOLIDAY (/dev/sdc)");
}

TEST_F(DriveListTest, MissingRootsGiveNoDrives) {
    const DriveRoots missing{dir / "none/block", dir / "none/mounts", dir / "none/udev"};
    EXPECT_TRUE(ListDrives(kDriveAll, missing).empty());
    // Without a udev database the label is unknown and the drive's own name is used.
    roots.udevData = dir / "none/udev";
    const std::vector<DriveInfo> drives = ListDrives(kDriveOptical, roots);
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0].displayName, "OTHER DRIVE (/dev/sr0)");
}

}  // namespace
