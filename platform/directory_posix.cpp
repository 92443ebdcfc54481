// POSIX implementation of platform/directory.h.
#include "platform/directory.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct DirectoryEnumeration::State {
    DIR* dir = nullptr;
    dev_t device = 0;
};

DirectoryEnumeration::DirectoryEnumeration() = default;

DirectoryEnumeration::~DirectoryEnumeration() {
    Close();
}

bool DirectoryEnumeration::Open(const std::string& directory) {
    Close();
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return false;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    m_state = std::make_unique<State>();
    m_state->dir = dir;
    m_state->device = st.st_dev;
    return true;
}

bool DirectoryEnumeration::Next(DirectoryEntry& entry) {
    if (!m_state) {
        return false;
    }
    for (;;) {
        errno = 0;
        dirent* d = ::readdir(m_state->dir);
        if (d == nullptr) {
            return false;
        }
        const char* name = d->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            entry.name = name;
            entry.isDirectory = true;
            return true;
        }
        struct stat st {};
        if (::fstatat(::dirfd(m_state->dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // vanished or unreadable: as if it had never been listed
        }
        if (st.st_dev != m_state->device) {
            continue; // a mount point of another file system
        }
        if (S_ISDIR(st.st_mode)) {
            entry.isDirectory = true;
        } else if (S_ISREG(st.st_mode)) {
            entry.isDirectory = false;
        } else {
            continue; // symbolic links and special files
        }
        entry.name = name;
        return true;
    }
}

void DirectoryEnumeration::Close() {
    if (m_state) {
        ::closedir(m_state->dir);
        m_state.reset();
    }
}

} // namespace platform
