// Linux implementation of platform/device_access.h.
#include "platform/device_access.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

DeviceAccess ProbeDeviceAccess(const std::string& device) {
    if (device.empty()) {
        return DeviceAccess::NotADevice;
    }
    const int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return DeviceAccess::Readable;
    }
    return errno == EACCES || errno == EPERM ? DeviceAccess::Denied : DeviceAccess::NotADevice;
}

} // namespace platform
