// Which mounted file systems the drive list offers.
#include "app/drive_list.h"

#include <gtest/gtest.h>

namespace {

struct VolumeCase {
    const char* fsType;
    const char* source;
    bool listed;
};

TEST(DriveList, OffersLocalVolumesOnly) {
    const VolumeCase cases[] = {
        {"ext4", "/dev/sda2", true},
        {"fuseblk", "/dev/sdb1", true}, // NTFS through ntfs-3g
        {"ntfs3", "/dev/sdb1", true},
        {"ntfs", "/dev/sdb1", true},
        {"vfat", "/dev/sdc1", true},
        {"exfat", "/dev/mmcblk0p1", true},
        {"btrfs", "/dev/nvme0n1p3", true},
        {"xfs", "/dev/mapper/vg-home", true},
        {"nfs", "server:/export", false},
        {"nfs4", "server:/export", false},
        {"cifs", "//server/share", false},
        {"smb3", "//server/share", false},
        {"fuse.sshfs", "user@host:", false},
        {"fuse.gvfsd-fuse", "gvfsd-fuse", false},
        {"9p", "hostshare", false},
        {"iso9660", "/dev/sr0", false},
        {"udf", "/dev/sr0", false},
        {"tmpfs", "tmpfs", false},
        {"ramfs", "ramfs", false},
        {"proc", "proc", false},
        {"sysfs", "sysfs", false},
        {"devtmpfs", "udev", false},
        {"devpts", "devpts", false},
        {"cgroup2", "cgroup2", false},
        {"securityfs", "securityfs", false},
        {"efivarfs", "efivarfs", false},
        {"autofs", "systemd-1", false},
        {"vfat", "/dev/fd0", false}, // the floppy drives, as A: and B: are on Windows
        {"msdos", "/dev/fd1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fsType) + " " + c.source);
        EXPECT_EQ(IsScanVolume({8, 1, "/mnt/x", c.fsType, c.source}), c.listed);
    }
}

TEST(DriveList, KeepsTheTableOrderAndShowsMountPoints) {
    const std::string mountinfo =
        "21 27 0:20 / /proc rw,relatime - proc proc rw\n"
        "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "25 23 0:23 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
        "40 27 8:17 / /media/win rw,relatime shared:1 - fuseblk /dev/sdb1 rw,user_id=0\n"
        "41 27 0:50 / /net/share rw - nfs4 srv:/x rw\n"
        "42 27 8:33 / /media/my\\040disk rw - ntfs3 /dev/sdc1 rw\n"
        "43 27 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n";
    const auto volumes = ScanVolumes(platform::ParseMountInfo(mountinfo));
    ASSERT_EQ(volumes.size(), 3u);
    EXPECT_EQ(DriveItemText(volumes[0]), "/");
    EXPECT_EQ(DriveItemText(volumes[1]), "/media/win");
    EXPECT_EQ(DriveItemText(volumes[2]), "/media/my disk");
    EXPECT_EQ(volumes[1].source, "/dev/sdb1");
}

TEST(DriveList, NothingLocalGivesAnEmptyList) {
    const std::vector<platform::MountEntry> table = {
        {0, 20, "/proc", "proc", "proc"},
        {0, 23, "/run", "tmpfs", "tmpfs"},
        {0, 50, "/home", "nfs", "srv:/home"},
        {2, 0, "/media/floppy", "vfat", "/dev/fd0"},
    };
    EXPECT_TRUE(ScanVolumes(table).empty());
}

} // namespace
