// Log file operations over POSIX descriptors.
#include "platform/log_file.h"

#include "platform/invoking_user.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::unique_ptr<LogFile> LogFile::OpenAlways(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    // O_APPEND makes the seek to the end and the write one step, so a line from another
    // process that appends to the same file at the same moment cannot be overwritten.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
    if (fd >= 0) {
        GiveToInvokingUser(fd); // a new log belongs to the user the program runs for
    } else if (errno == EEXIST) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<LogFile>(Key{}, fd);
}

LogFile::~LogFile() {
    ::close(m_fd);
}

std::optional<std::uint64_t> LogFile::Size() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || st.st_size < 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

bool LogFile::Append(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t wrote = ::write(m_fd, bytes.data(), bytes.size());
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return true;
}

bool DeleteLogFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool MoveLogFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace platform
