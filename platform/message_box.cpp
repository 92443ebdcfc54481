// Dispatch of message boxes to the installed provider.
#include "platform/message_box.h"

#include <mutex>

namespace platform {
namespace {

std::mutex g_providerMutex;
std::shared_ptr<MessageBoxProvider> g_provider;

int FirstButton(std::uint32_t type) {
    return (type & kMessageBoxButtonsMask) == MB_YESNO ? IDYES : IDOK;
}

} // namespace

void SetMessageBoxProvider(std::shared_ptr<MessageBoxProvider> provider) {
    std::lock_guard lock(g_providerMutex);
    g_provider = std::move(provider);
}

int MessageBoxA(const std::string& text, const std::string& caption, std::uint32_t type) {
    std::shared_ptr<MessageBoxProvider> provider;
    {
        std::lock_guard lock(g_providerMutex);
        provider = g_provider;
    }
    return provider ? provider->Show(text, caption, type) : FirstButton(type);
}

} // namespace platform
