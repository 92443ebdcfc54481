// Cross-thread synchronous window messages.
#include "platform/window.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

// One message waiting for the owner thread. It lives on the sender's stack for the whole send.
struct PendingMessage {
    std::uint32_t message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    bool handled = false;
};

class WindowCore {
public:
    WindowCore(MessageWindow::Handler handler)
        : m_handler(std::move(handler)), m_owner(std::this_thread::get_id()) {}

    bool Send(std::uint32_t message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
        if (std::this_thread::get_id() == m_owner) {
            std::unique_lock lock(m_mutex);
            if (m_closed) {
                return false;
            }
            lock.unlock();
            LRESULT r = m_handler(message, wParam, lParam);
            if (result != nullptr) {
                *result = r;
            }
            return true;
        }
        PendingMessage pending{message, wParam, lParam};
        std::function<void()> wake;
        {
            std::lock_guard lock(m_mutex);
            if (m_closed) {
                return false;
            }
            m_queue.push_back(&pending);
            wake = m_wakeHook;
        }
        m_arrived.notify_all();
        if (wake) {
            wake();
        }
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [&] { return pending.done; });
        if (result != nullptr && pending.handled) {
            *result = pending.result;
        }
        return pending.handled;
    }

    // Runs queued messages one at a time, so that a handler that runs a nested event loop (a
    // modal box) can dispatch later messages from inside it.
    bool DispatchPending() {
        bool any = false;
        for (;;) {
            PendingMessage* pending = nullptr;
            {
                std::lock_guard lock(m_mutex);
                if (m_queue.empty() || m_closed) {
                    return any;
                }
                pending = m_queue.front();
                m_queue.pop_front();
            }
            LRESULT r = m_handler(pending->message, pending->wParam, pending->lParam);
            {
                std::lock_guard lock(m_mutex);
                pending->result = r;
                pending->handled = true;
                pending->done = true;
            }
            m_finished.notify_all();
            any = true;
        }
    }

    bool WaitAndDispatch(std::chrono::milliseconds timeout) {
        {
            std::unique_lock lock(m_mutex);
            m_arrived.wait_for(lock, timeout, [&] { return !m_queue.empty() || m_closed; });
        }
        return DispatchPending();
    }

    void SetWakeHook(std::function<void()> hook) {
        std::lock_guard lock(m_mutex);
        m_wakeHook = std::move(hook);
    }

    void Close() {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
            for (PendingMessage* pending : m_queue) {
                pending->done = true; // not handled: the sender sees a failed send
            }
            m_queue.clear();
            m_wakeHook = nullptr;
        }
        m_finished.notify_all();
        m_arrived.notify_all();
    }

private:
    MessageWindow::Handler m_handler;
    std::thread::id m_owner;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::condition_variable m_finished;
    std::deque<PendingMessage*> m_queue;
    std::function<void()> m_wakeHook;
    bool m_closed = false;
};

MessageWindow::MessageWindow(Handler handler)
    : m_core(std::make_shared<WindowCore>(std::move(handler))) {}

MessageWindow::~MessageWindow() {
    m_core->Close();
}

void MessageWindow::SetWakeHook(std::function<void()> hook) {
    m_core->SetWakeHook(std::move(hook));
}

void MessageWindow::DispatchPending() {
    m_core->DispatchPending();
}

bool MessageWindow::WaitAndDispatch(std::chrono::milliseconds timeout) {
    return m_core->WaitAndDispatch(timeout);
}

bool SendMessageA(const WindowHandle& window, std::uint32_t message, WPARAM wParam, LPARAM lParam,
                  LRESULT* result) {
    return window != nullptr && window->Send(message, wParam, lParam, result);
}

void DestroyWindow(const WindowHandle& window) {
    if (window != nullptr) {
        window->Close();
    }
}

} // namespace platform
