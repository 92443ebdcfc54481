// The ANSI code page: every code-page-aware operation on narrow strings (searches for a
// character or substring, case-insensitive comparison, conversion from UTF-16) lives here, so
// that a trail byte of a double-byte character is never mistaken for '\\', '/' or '.'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

enum class AnsiCodePageId {
    Utf8,       // the usual Linux locale charset
    Gbk,        // code page 936: lead bytes 0x81..0xFE take the next byte as a trail byte
    SingleByte, // any other charset: one byte per character, only ASCII letters fold
};

class AnsiCodePage {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    explicit AnsiCodePage(AnsiCodePageId id) : m_id(id) {}

    [[nodiscard]] AnsiCodePageId Id() const { return m_id; }

    // Length in bytes of the character that starts at text[pos] (at least 1, never past the
    // end of text): a truncated or malformed sequence counts as one byte.
    [[nodiscard]] std::size_t CharLength(std::string_view text, std::size_t pos) const;

    // Start of the last character equal to the ASCII character `c`, or npos.
    [[nodiscard]] std::size_t FindLast(std::string_view text, char c) const;

    // Start of the last occurrence of `needle` that begins on a character boundary, or npos.
    [[nodiscard]] std::size_t FindLast(std::string_view text, std::string_view needle) const;

    // Case-insensitive comparison, character by character. ASCII letters fold in every code
    // page; in UTF-8 other letters fold by simple Unicode case mapping.
    [[nodiscard]] bool EqualsNoCase(std::string_view a, std::string_view b) const;

    // A key that two names share exactly when EqualsNoCase holds for them, so that names can
    // be looked up in a map without regard to case.
    [[nodiscard]] std::string CaseFoldKey(std::string_view text) const;

    // UTF-16 (as NTFS stores names) to this code page; characters that have no representation
    // become '?'.
    [[nodiscard]] std::string FromUtf16(std::u16string_view text) const;

private:
    AnsiCodePageId m_id;
};

// The process's ANSI code page: the locale's charset (nl_langinfo(CODESET)) at first use,
// unless SetActiveCodePage chose another one. Set it before worker threads start.
const AnsiCodePage& ActiveCodePage();
void SetActiveCodePage(AnsiCodePageId id);

// The code page that stands for a locale charset name such as "UTF-8", "GBK" or "GB18030".
[[nodiscard]] AnsiCodePageId CodePageIdForCharset(std::string_view charset);

} // namespace platform
