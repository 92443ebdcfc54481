// POSIX implementation of platform/file.h.
#include "platform/file.h"

#include "platform/invoking_user.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

File File::CreateNew(const std::string& path, CreateNewResult* result) {
    // O_EXCL with O_CREAT refuses an existing name, dangling symbolic links included, so an
    // existing file is never truncated or written through.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
        GiveToInvokingUser(fd);
    }
    if (result != nullptr) {
        *result = fd >= 0
                      ? CreateNewResult::Created
                      : (errno == EEXIST ? CreateNewResult::NameExists : CreateNewResult::Failed);
    }
    return File(fd);
}

File File::OpenForReading(const std::string& path) {
    // O_NONBLOCK keeps a FIFO that slipped in from blocking the open; it is then refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return File();
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return File();
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return File(fd);
}

bool File::Read(void* buffer, std::uint32_t length, std::uint32_t& bytesRead) {
    bytesRead = 0;
    if (m_fd < 0) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    while (bytesRead < length) {
        ssize_t got = ::read(m_fd, out + bytesRead, length - bytesRead);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            break;
        }
        bytesRead += static_cast<std::uint32_t>(got);
    }
    return true;
}

bool File::Write(const void* buffer, std::uint32_t length) {
    if (m_fd < 0) {
        return false;
    }
    const auto* in = static_cast<const unsigned char*>(buffer);
    std::uint32_t written = 0;
    while (written < length) {
        ssize_t put = ::write(m_fd, in + written, length - written);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (put == 0) {
            return false;
        }
        written += static_cast<std::uint32_t>(put);
    }
    return true;
}

bool File::Seek(std::uint64_t position) {
    if (m_fd < 0 || position > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    return ::lseek(m_fd, static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool File::SetEndOfFile() {
    if (m_fd < 0) {
        return false;
    }
    off_t here = ::lseek(m_fd, 0, SEEK_CUR);
    return here >= 0 && ::ftruncate(m_fd, here) == 0;
}

bool File::Close() {
    if (m_fd < 0) {
        return true;
    }
    int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

} // namespace platform
