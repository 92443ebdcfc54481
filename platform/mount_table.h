// The mounted file systems (/proc/self/mountinfo): which device holds a path, and the list of
// volumes a user can pick from.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct MountEntry {
    unsigned major = 0; // device number of the mounted file system
    unsigned minor = 0;
    std::string mountPoint;
    std::string fsType;
    std::string source; // the device or pseudo source, for example /dev/sdb1
};

// Parses a mountinfo text; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The table of this process's mount namespace, in its order.
std::vector<MountEntry> ReadMountTable();

// The mount that holds `path` (matched by device number, the last such mount in the table),
// or nothing when the path cannot be examined.
std::optional<MountEntry> MountContaining(const std::string& path);

} // namespace platform
