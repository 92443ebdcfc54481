// Window messages between threads with SendMessageA's semantics: the handler runs on the
// window's own thread while the sender blocks until it has run; a send from that thread itself
// calls the handler directly. A window is anything with a handler and an owner thread: the
// command line's main loop, the desktop dialog, a recording window in tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr std::uint32_t WM_USER = 0x0400;

class WindowCore;
// What senders hold: it stays valid after the window is gone, and sends to it then fail.
using WindowHandle = std::shared_ptr<WindowCore>;

class MessageWindow {
public:
    using Handler = std::function<LRESULT(std::uint32_t message, WPARAM wParam, LPARAM lParam)>;

    // The constructing thread becomes the window's owner thread.
    explicit MessageWindow(Handler handler);
    // Destroys the window: a send waiting for it, and every later send, fails.
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    [[nodiscard]] WindowHandle Handle() const { return m_core; }

    // Called from the sending thread whenever a message is queued, so that an event loop (Qt)
    // can schedule DispatchPending on the owner thread. Set it before any send.
    void SetWakeHook(std::function<void()> hook);

    // Owner thread: runs the handler of every queued message, in the order sent.
    void DispatchPending();

    // Owner thread: waits up to `timeout` for a message, then runs every queued one. Returns
    // whether any handler ran.
    bool WaitAndDispatch(std::chrono::milliseconds timeout);

private:
    WindowHandle m_core;
};

// Delivers the message and returns once the handler has run; false (handler not run) when the
// window no longer exists. `result`, when given, receives the handler's result.
bool SendMessageA(const WindowHandle& window, std::uint32_t message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result = nullptr);

// Makes the window unreachable, as its destruction does: a send waiting for it, and every
// later send, fails. The object itself stays until its owner destroys it.
void DestroyWindow(const WindowHandle& window);

} // namespace platform
