// Engine boxes through the dialog's window.
#include "app/engine_message_box.h"

int EngineMessageBoxProvider::Show(const std::string& text, const std::string& caption,
                                   std::uint32_t type) {
    EngineMessageBoxRequest request{text, caption, type};
    platform::LRESULT answer = 0;
    if (platform::SendMessageA(m_window, WM_ENGINE_MESSAGE_BOX,
                               reinterpret_cast<platform::WPARAM>(&request), 0, &answer)) {
        return static_cast<int>(answer);
    }
    switch (type & platform::kMessageBoxButtonsMask) {
    case platform::MB_OKCANCEL:
        return platform::IDCANCEL;
    case platform::MB_YESNO:
        return platform::IDNO;
    default:
        return platform::IDOK;
    }
}

namespace {

// Which scope installed the provider last. Scopes live on the dialog's thread only.
std::uint64_t g_latestScope = 0;

} // namespace

EngineMessageBoxScope::EngineMessageBoxScope(platform::WindowHandle window)
    : m_generation(++g_latestScope) {
    platform::SetMessageBoxProvider(std::make_shared<EngineMessageBoxProvider>(std::move(window)));
}

EngineMessageBoxScope::~EngineMessageBoxScope() {
    if (m_generation == g_latestScope) {
        platform::SetMessageBoxProvider(nullptr);
    }
}
