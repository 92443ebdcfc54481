// Whether this process may read a volume's device, so that the desktop program can tell a
// user without the rights before every restore from the disk fails.
#pragma once

#include <string>

namespace platform {

enum class DeviceAccess {
    Readable,   // opened for reading
    Denied,     // exists, but this process lacks the rights (EACCES, EPERM)
    NotADevice, // missing, or another kind of failure: no question of rights
};

DeviceAccess ProbeDeviceAccess(const std::string& device);

} // namespace platform
