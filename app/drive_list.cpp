// Which mounted file systems are offered for a scan.
#include "app/drive_list.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// Remote file systems: a scan would walk another machine's disk through the network, and its
// deleted records are out of reach anyway.
constexpr std::array<std::string_view, 12> kNetworkTypes = {
    "nfs", "nfs4", "cifs", "smb3",      "smbfs",  "ncpfs",
    "afs", "9p",   "ceph", "glusterfs", "lustre", "coda",
};

// Optical media.
constexpr std::array<std::string_view, 2> kOpticalTypes = {"iso9660", "udf"};

// File systems in memory, and the kernel's views of itself that hold no documents.
constexpr std::array<std::string_view, 25> kMemoryAndPseudoTypes = {
    "tmpfs",      "ramfs",      "proc",    "sysfs",   "devtmpfs",    "devpts",   "cgroup",
    "cgroup2",    "securityfs", "debugfs", "tracefs", "pstore",      "bpf",      "mqueue",
    "hugetlbfs",  "configfs",   "fusectl", "autofs",  "binfmt_misc", "efivarfs", "nsfs",
    "rpc_pipefs", "selinuxfs",  "binder",  "nfsd",
};

template <std::size_t N>
bool Contains(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Floppy drives take the place that A: and B: have on Windows, and are never offered.
bool IsFloppy(const std::string& source) {
    return source.rfind("/dev/fd", 0) == 0 && source.size() > 7 && source[7] >= '0' &&
           source[7] <= '9';
}

} // namespace

bool IsScanVolume(const platform::MountEntry& mount) {
    const std::string_view type = mount.fsType;
    if (Contains(kNetworkTypes, type) || Contains(kOpticalTypes, type) ||
        Contains(kMemoryAndPseudoTypes, type)) {
        return false;
    }
    // Remote shares (sshfs, gvfs, rclone) and the desktop's document portal are fuse.<name>
    // mounts; a local volume through FUSE is fuseblk, the way ntfs-3g mounts NTFS.
    if (type.rfind("fuse.", 0) == 0) {
        return false;
    }
    return !IsFloppy(mount.source) && !mount.mountPoint.empty();
}

std::vector<platform::MountEntry> ScanVolumes(const std::vector<platform::MountEntry>& table) {
    std::vector<platform::MountEntry> volumes;
    for (const platform::MountEntry& mount : table) {
        if (IsScanVolume(mount)) {
            volumes.push_back(mount);
        }
    }
    return volumes;
}

std::string DriveItemText(const platform::MountEntry& mount) {
    return mount.mountPoint;
}
