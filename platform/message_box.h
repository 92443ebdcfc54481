// Message boxes raised below the user interface (the restore's questions and errors). The
// front end installs the provider: the desktop program shows a real box, the command line
// answers from its options or a terminal prompt, tests answer as they are told.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

constexpr std::uint32_t MB_OK = 0x0;
constexpr std::uint32_t MB_OKCANCEL = 0x1;
constexpr std::uint32_t MB_YESNO = 0x4;
constexpr std::uint32_t MB_ICONERROR = 0x10;
constexpr std::uint32_t MB_ICONQUESTION = 0x20;
constexpr std::uint32_t MB_ICONWARNING = 0x30;
constexpr std::uint32_t MB_ICONINFORMATION = 0x40;
constexpr std::uint32_t kMessageBoxButtonsMask = 0xF;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class MessageBoxProvider {
public:
    virtual ~MessageBoxProvider() = default;
    // Shows the box and returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int Show(const std::string& text, const std::string& caption, std::uint32_t type) = 0;
};

// Installs the provider for every later MessageBoxA; null removes it. Without a provider a box
// is answered with its first button (OK or Yes), as an unattended run would want.
void SetMessageBoxProvider(std::shared_ptr<MessageBoxProvider> provider);

int MessageBoxA(const std::string& text, const std::string& caption, std::uint32_t type);

} // namespace platform
