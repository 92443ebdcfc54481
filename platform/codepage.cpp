// Temporary stand-in for the code page module: ASCII only, one byte per character.
#include "platform/codepage.h"

namespace platform {

namespace {
char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
AnsiCodePage g_active(AnsiCodePageId::SingleByte);
} // namespace

std::size_t AnsiCodePage::CharLength(std::string_view text, std::size_t pos) const {
    return pos < text.size() ? 1 : 0;
}

std::size_t AnsiCodePage::FindLast(std::string_view text, char c) const { return text.rfind(c); }

std::size_t AnsiCodePage::FindLast(std::string_view text, std::string_view needle) const {
    return text.rfind(needle);
}

bool AnsiCodePage::EqualsNoCase(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i])) {
            return false;
        }
    }
    return true;
}

std::string AnsiCodePage::FromUtf16(std::u16string_view text) const {
    std::string out;
    for (const char16_t unit : text) {
        out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return out;
}

const AnsiCodePage& ActiveCodePage() { return g_active; }
void SetActiveCodePage(AnsiCodePageId id) { g_active = AnsiCodePage(id); }

} // namespace platform
