// The boxes of the deleted-file engine (its questions and errors) in the desktop program. The
// engine raises them on the walk thread, where no widget may be made; they travel to the
// dialog's thread as a window message, so they are shown the way the run's other events are
// and the walk waits for the answer exactly as it waits for any send.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/message_box.h"
#include "platform/window.h"

// wParam: an EngineMessageBoxRequest owned by the sender; the result is the button chosen.
constexpr std::uint32_t WM_ENGINE_MESSAGE_BOX = platform::WM_USER + 700;

struct EngineMessageBoxRequest {
    std::string text;
    std::string caption;
    std::uint32_t type = platform::MB_OK;
};

class EngineMessageBoxProvider final : public platform::MessageBoxProvider {
public:
    explicit EngineMessageBoxProvider(platform::WindowHandle window)
        : m_window(std::move(window)) {}

    // Shows the box through the dialog's window. When the window is gone (the program is
    // closing) a question is answered with its negative button, so that a restore asking
    // whether to copy a large file stops instead of holding up the end.
    int Show(const std::string& text, const std::string& caption, std::uint32_t type) override;

private:
    platform::WindowHandle m_window;
};

// Installs an EngineMessageBoxProvider for `window` for as long as it lives. When a later
// scope has installed its own meanwhile, the end of this one leaves that one in place.
class EngineMessageBoxScope {
public:
    explicit EngineMessageBoxScope(platform::WindowHandle window);
    ~EngineMessageBoxScope();
    EngineMessageBoxScope(const EngineMessageBoxScope&) = delete;
    EngineMessageBoxScope& operator=(const EngineMessageBoxScope&) = delete;

private:
    std::uint64_t m_generation;
};
