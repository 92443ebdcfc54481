// Read-only access to a block device or an image file by absolute byte offset; the only way the
// NTFS reader touches the disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class RawDevice {
public:
    // Opens `path` for reading only (a disk, a partition or an image file). Null when it cannot
    // be opened. Nothing in this class can write to the device.
    static std::unique_ptr<RawDevice> OpenReadOnly(const std::string& path);

    ~RawDevice();
    RawDevice(const RawDevice&) = delete;
    RawDevice& operator=(const RawDevice&) = delete;

    // Exactly `length` bytes at `offset`, or false. Positioned reads share no file position, so
    // two threads may read the same device at once.
    [[nodiscard]] bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t length) const;

    // Size in bytes of the device or file (0 when it cannot be told).
    [[nodiscard]] std::uint64_t Size() const { return m_size; }

private:
    RawDevice(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    int m_fd;
    std::uint64_t m_size;
};

} // namespace platform
