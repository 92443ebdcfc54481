// One in-memory image file per fuzz process, rewritten in place for each input: opening it by
// path goes through the same read-only device code as a real disk, without the cost of a new
// file and a full copy per input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

class ReusableImage {
public:
    ReusableImage() {
        m_fd = memfd_create("ntfs-fuzz-image", MFD_CLOEXEC);
        if (m_fd < 0) {
            std::abort();
        }
        m_path = "/proc/self/fd/" + std::to_string(m_fd);
    }
    ~ReusableImage() { close(m_fd); }
    ReusableImage(const ReusableImage&) = delete;
    ReusableImage& operator=(const ReusableImage&) = delete;

    // Makes the file `size` zero bytes.
    void Reset(std::size_t size) {
        if (ftruncate(m_fd, 0) != 0 || ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            std::abort();
        }
    }
    void Write(std::size_t offset, const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n =
                pwrite(m_fd, data + done, size - done, static_cast<off_t>(offset + done));
            if (n <= 0) {
                std::abort();
            }
            done += static_cast<std::size_t>(n);
        }
    }
    [[nodiscard]] const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};
