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

EngineMessageBoxScope::EngineMessageBoxScope(platform::WindowHandle window) {
    platform::SetMessageBoxProvider(std::make_shared<EngineMessageBoxProvider>(std::move(window)));
}

EngineMessageBoxScope::~EngineMessageBoxScope() {
    platform::SetMessageBoxProvider(nullptr);
}
