// The viewer channel over local sequenced-packet sockets.
#include "platform/viewer_socket.h"

#include "platform/user_paths.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {
namespace {

// Bigger than any record the log sends, so that an oversized packet shows as oversized.
constexpr std::size_t kMaxPacket = 8192;

std::mutex g_socketPathMutex;
std::string g_socketPathOverride;

bool MakeAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    if (!MakeAddress(path, address)) {
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

std::string ViewerSocketPath(const std::string& name) {
    {
        std::lock_guard<std::mutex> lock(g_socketPathMutex);
        if (!g_socketPathOverride.empty()) {
            return g_socketPathOverride;
        }
    }
    const std::string folder = UserRuntimeDirectory();
    if (folder == "/tmp") {
        // /tmp is shared by all users: the user id keeps one user's viewer from another's.
        return folder + "/" + name + "-" + std::to_string(getuid());
    }
    return folder + "/" + name;
}

void SetViewerSocketPathOverride(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_socketPathMutex);
    g_socketPathOverride = path;
}

std::unique_ptr<ViewerWindow> ViewerWindow::Find(const std::string& name) {
    const std::string path = ViewerSocketPath(name);
    struct stat st {};
    // Log lines name the user's files; they go only to a viewer of the same user.
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != getuid()) {
        return nullptr;
    }
    const int fd = ConnectTo(path);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<ViewerWindow>(Key{}, fd);
}

ViewerWindow::~ViewerWindow() {
    Drop();
}

void ViewerWindow::Drop() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool ViewerWindow::IsAlive() {
    if (m_fd < 0) {
        return false;
    }
    pollfd p{m_fd, POLLIN | POLLRDHUP, 0};
    if (::poll(&p, 1, 0) < 0) {
        return errno == EINTR;
    }
    if ((p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL)) != 0) {
        Drop();
        return false;
    }
    if ((p.revents & POLLIN) != 0) {
        // A late answer to a send that gave up waiting: not a sign of life or death.
        std::uint8_t stale[16];
        (void)::recv(m_fd, stale, sizeof stale, MSG_DONTWAIT);
    }
    return true;
}

bool ViewerWindow::Send(std::span<const std::uint8_t> record) {
    if (m_fd < 0) {
        return false;
    }
    ssize_t sent;
    do {
        sent = ::send(m_fd, record.data(), record.size(), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(record.size())) {
        Drop();
        return false;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kViewerAnswerTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            Drop();
            return false;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            Drop();
            return false;
        }
        std::uint8_t answer = 0;
        const ssize_t got = ::recv(m_fd, &answer, 1, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != 1) {
            Drop();
            return false;
        }
        return true;
    }
}

std::unique_ptr<ViewerListener> ViewerListener::Listen(const std::string& path) {
    sockaddr_un address{};
    if (!MakeAddress(path, address)) {
        return nullptr;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            return nullptr;
        }
        const int probe = ConnectTo(path);
        if (probe >= 0) {
            ::close(probe);
            return nullptr;
        }
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return nullptr;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<ViewerListener>(Key{}, fd, path);
}

ViewerListener::~ViewerListener() {
    for (const int fd : m_clients) {
        ::close(fd);
    }
    ::close(m_listenFd);
    ::unlink(m_path.c_str());
}

std::optional<std::vector<std::uint8_t>> ViewerListener::Receive(int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        // Even a zero timeout polls once, so a packet already queued (or a sender already
        // waiting to be accepted) is seen.
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
            wait = spent >= timeoutMs ? 0 : static_cast<int>(timeoutMs - spent);
        }
        std::vector<pollfd> fds;
        fds.push_back({m_listenFd, POLLIN, 0});
        for (const int fd : m_clients) {
            fds.push_back({fd, POLLIN, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), wait);
        if (ready <= 0) {
            return std::nullopt; // timed out, or a signal: the caller decides whether to go on
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            const int fd = fds[i].fd;
            std::vector<std::uint8_t> packet(kMaxPacket);
            const ssize_t got = ::recv(fd, packet.data(), packet.size(), MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            if (got <= 0) {
                ::close(fd);
                std::erase(m_clients, fd);
                continue;
            }
            packet.resize(static_cast<std::size_t>(got));
            const std::uint8_t answer = 1;
            (void)::send(fd, &answer, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            return packet;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            const int client = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                m_clients.push_back(client);
            }
        }
    }
}

} // namespace platform
