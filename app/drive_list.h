// The volumes the dialog offers for a scan: the mounted file systems that can hold a user's
// documents on a local disk, in the mount table's order.
#pragma once

#include <string>
#include <vector>

#include "platform/mount_table.h"

// False for network file systems, optical media, RAM file systems (tmpfs, ramfs), the
// kernel's pseudo file systems and floppy drives; true for the rest, NTFS through ntfs-3g
// (fuseblk) or ntfs3 included.
bool IsScanVolume(const platform::MountEntry& mount);

// The scan volumes of `table`, in its order.
std::vector<platform::MountEntry> ScanVolumes(const std::vector<platform::MountEntry>& table);

// The text of a volume's item in the list: its mount point.
std::string DriveItemText(const platform::MountEntry& mount);
