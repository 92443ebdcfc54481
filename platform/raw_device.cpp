// Positioned reads on a read-only file descriptor.
#include "platform/raw_device.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::uint64_t QuerySize(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return 0;
    }
    if (S_ISBLK(st.st_mode)) {
        // A block device reports size 0 through stat; the kernel knows it through BLKGETSIZE64.
        std::uint64_t bytes = 0;
        if (ioctl(fd, BLKGETSIZE64, &bytes) == 0) {
            return bytes;
        }
        return 0;
    }
    return st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

} // namespace

std::unique_ptr<RawDevice> RawDevice::OpenReadOnly(const std::string& path) {
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<RawDevice>(new RawDevice(fd, QuerySize(fd)));
}

RawDevice::~RawDevice() {
    ::close(m_fd);
}

bool RawDevice::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t length) const {
    auto* out = static_cast<unsigned char*>(buffer);
    std::uint32_t done = 0;
    while (done < length) {
        const std::uint64_t position = offset + done;
        if (position < offset ||
            position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
            return false;
        }
        const ssize_t got = ::pread(m_fd, out + done, length - done, static_cast<off_t>(position));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return false; // end of the device before the bytes asked for
        }
        done += static_cast<std::uint32_t>(got);
    }
    return true;
}

} // namespace platform
