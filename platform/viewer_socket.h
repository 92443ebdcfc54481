// The live viewer of diagnostic lines. A viewer is a program that owns the name
// "HV_DEBUG_VIEW"; on Linux that is a local SOCK_SEQPACKET socket of that name in the user's
// runtime folder ($XDG_RUNTIME_DIR/HV_DEBUG_VIEW, or /tmp/HV_DEBUG_VIEW-<uid> when there is no
// runtime folder). Finding the viewer connects to it and the connection is the handle; each
// record goes as one packet and the viewer answers each with one byte, so a send returns only
// once the viewer has taken the record, like a synchronous window message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The socket path for the viewer name `name`. SetViewerSocketPathOverride (for tests) replaces
// it for every name; an empty text removes the override.
std::string ViewerSocketPath(const std::string& name);
void SetViewerSocketPathOverride(const std::string& path);

// A viewer does not have to answer quickly, but one that hangs must not stop the program for
// good: a record not answered within this time counts as lost and the viewer as gone.
constexpr int kViewerAnswerTimeoutMs = 2000;

class ViewerWindow {
public:
    // Connects to the viewer listening under `name`; null when none listens or the socket
    // belongs to another user.
    static std::unique_ptr<ViewerWindow> Find(const std::string& name);

    struct Key {
        explicit Key() = default;
    };
    ViewerWindow(Key, int fd) : m_fd(fd) {}
    ~ViewerWindow();
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;

    // True while the viewer keeps its end of the connection open.
    [[nodiscard]] bool IsAlive();

    // Sends `record` as one packet and waits for the viewer's answer. False when the send or
    // the answer fails; the connection is then dropped and IsAlive() turns false.
    bool Send(std::span<const std::uint8_t> record);

private:
    void Drop();
    int m_fd;
};

class ViewerListener {
public:
    // Listens at `path`, replacing a socket file that nobody listens on any more. Null when
    // another viewer already listens there or the socket cannot be made.
    static std::unique_ptr<ViewerListener> Listen(const std::string& path);

    struct Key {
        explicit Key() = default;
    };
    ViewerListener(Key, int fd, std::string path) : m_listenFd(fd), m_path(std::move(path)) {}
    // Closes every connection and removes the socket file.
    ~ViewerListener();
    ViewerListener(const ViewerListener&) = delete;
    ViewerListener& operator=(const ViewerListener&) = delete;

    // Waits up to `timeoutMs` milliseconds (negative: without limit) for the next packet from
    // any sender, answers it and returns its bytes. Nothing on timeout, when a signal
    // interrupts the wait, or on failure. Accepts new senders while it waits.
    std::optional<std::vector<std::uint8_t>> Receive(int timeoutMs);

private:
    int m_listenFd;
    std::string m_path;
    std::vector<int> m_clients;
};

} // namespace platform
