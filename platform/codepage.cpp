// Code-page-aware operations on narrow strings: UTF-8, GBK (with GB18030's four-byte form) and
// single-byte charsets, plus the choice of the process's code page from the locale.
#include "platform/codepage.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <memory>
#include <optional>
#include <strings.h>
#include <type_traits>
#include <wctype.h>

namespace platform {
namespace {

constexpr char kReplacement = '?';

constexpr std::uint8_t Byte(std::string_view text, std::size_t pos) {
    return static_cast<std::uint8_t>(text[pos]);
}

constexpr bool IsAsciiLetter(std::uint8_t b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

constexpr std::uint8_t AsciiUpper(std::uint8_t b) {
    return (b >= 'a' && b <= 'z') ? static_cast<std::uint8_t>(b - ('a' - 'A')) : b;
}

// ---- UTF-8 -------------------------------------------------------------------------------

struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

constexpr bool IsContinuation(std::uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// A well-formed UTF-8 sequence at text[pos], or nullopt for a stray, overlong, surrogate,
// out-of-range or truncated sequence (which then counts as a single raw byte).
std::optional<Decoded> DecodeUtf8(std::string_view text, std::size_t pos) {
    const std::uint8_t lead = Byte(text, pos);
    if (lead < 0x80)
        return Decoded{lead, 1};

    std::size_t length = 0;
    char32_t codePoint = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt; // continuation byte, C0/C1 (always overlong) or F5..FF
    }
    if (length - 1 > text.size() - pos - 1)
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t b = Byte(text, pos + i);
        if (!IsContinuation(b))
            return std::nullopt;
        codePoint = (codePoint << 6) | (b & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF)
        return std::nullopt;
    if (codePoint >= 0xD800 && codePoint <= 0xDFFF)
        return std::nullopt;
    return Decoded{codePoint, length};
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The C.UTF-8 locale carries glibc's full Unicode case tables whatever the process locale is,
// so folding does not depend on LANG. Created once and never freed: it is shared by all threads
// for the life of the process.
locale_t CaseLocale() {
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

// Simple (one-to-one) upper-case mapping, the way NTFS compares names through its upcase table.
char32_t UpperCase(char32_t cp) {
    if (cp < 0x80)
        return AsciiUpper(static_cast<std::uint8_t>(cp));
    const locale_t locale = CaseLocale();
    if (locale == locale_t{})
        return cp;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), locale));
}

bool EqualsNoCaseUtf8(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = DecodeUtf8(a, i);
        const auto cb = DecodeUtf8(b, j);
        if (ca && cb) {
            if (ca->codePoint != cb->codePoint &&
                UpperCase(ca->codePoint) != UpperCase(cb->codePoint)) {
                return false;
            }
            i += ca->length;
            j += cb->length;
        } else if (!ca && !cb) {
            // Malformed bytes carry no character to fold: only the same byte matches.
            if (a[i] != b[j])
                return false;
            ++i;
            ++j;
        } else {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

// ---- GBK / GB18030 -----------------------------------------------------------------------

constexpr bool IsGbkLead(std::uint8_t b) {
    return b >= 0x81 && b <= 0xFE;
}
constexpr bool IsGbkTrail(std::uint8_t b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}
constexpr bool IsGbDigit(std::uint8_t b) {
    return b >= 0x30 && b <= 0x39;
}

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
    const std::size_t left = text.size() - pos;
    if (left < 2 || !IsGbkLead(Byte(text, pos)))
        return 1;
    const std::uint8_t second = Byte(text, pos + 1);
    if (IsGbkTrail(second))
        return 2;
    // GB18030's four-byte form: lead, digit, lead, digit. None of its bytes can be '.', '/'
    // or '\\', but taking it whole keeps the digits from being read as characters of their own.
    if (IsGbDigit(second) && left >= 4 && IsGbkLead(Byte(text, pos + 2)) &&
        IsGbDigit(Byte(text, pos + 3))) {
        return 4;
    }
    return 1;
}

struct IconvClose {
    void operator()(iconv_t cd) const noexcept { iconv_close(cd); }
};
using IconvPtr = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvClose>;

// An iconv descriptor keeps conversion state, so each thread needs its own.
iconv_t GbkConverter() {
    thread_local IconvPtr converter = [] {
        iconv_t cd = iconv_open("CP936", "UTF-32LE");
        if (cd == reinterpret_cast<iconv_t>(-1))
            cd = iconv_open("GBK", "UTF-32LE");
        return IconvPtr(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
    }();
    return converter.get();
}

void AppendUtf32Le(std::string& out, char32_t cp) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>(cp >> shift));
}

std::string Utf32LeToGbk(std::string input) {
    const std::size_t characters = input.size() / 4;
    iconv_t cd = GbkConverter();
    if (cd == nullptr) {
        // No GBK converter installed: keep ASCII, the rest has no known representation.
        std::string out;
        for (std::size_t k = 0; k < characters; ++k) {
            const auto cp = static_cast<std::uint8_t>(input[4 * k]);
            const bool ascii = input[4 * k + 1] == 0 && input[4 * k + 2] == 0 &&
                               input[4 * k + 3] == 0 && cp < 0x80;
            out.push_back(ascii ? static_cast<char>(cp) : kReplacement);
        }
        return out;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    // Room for four output bytes per character, more than any GBK (or GB18030) character needs.
    std::string out(characters * 4, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    while (inLeft > 0) {
        const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == EILSEQ && inLeft >= 4 && outLeft >= 1) {
            *outPtr++ = kReplacement;
            --outLeft;
            in += 4;
            inLeft -= 4;
            continue;
        }
        break; // E2BIG or EINVAL cannot happen with the sizes above; stop rather than loop
    }
    out.resize(out.size() - outLeft);
    return out;
}

// ---- UTF-16 decoding ---------------------------------------------------------------------

// Calls sink(codePoint) for each character; an unpaired surrogate becomes '?'.
template <class Sink> void ForEachUtf16CodePoint(std::u16string_view text, Sink sink) {
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char16_t unit = text[k];
        if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < text.size() && text[k + 1] >= 0xDC00 &&
            text[k + 1] <= 0xDFFF) {
            sink(0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[k + 1]) - 0xDC00));
            ++k;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            sink(char32_t(kReplacement));
        } else {
            sink(char32_t(unit));
        }
    }
}

// ---- The active code page ----------------------------------------------------------------

const AnsiCodePage kUtf8Page{AnsiCodePageId::Utf8};
const AnsiCodePage kGbkPage{AnsiCodePageId::Gbk};
const AnsiCodePage kSingleBytePage{AnsiCodePageId::SingleByte};

constexpr int kNotChosen = -1;
std::atomic<int> g_activeId{kNotChosen};

AnsiCodePageId IdForCharset(const char* charset) {
    return charset == nullptr ? AnsiCodePageId::SingleByte : CodePageIdForCharset(charset);
}

// The charset the environment asks for (LC_ALL, LC_CTYPE, LANG), read without touching the
// process's global locale, which a program that never calls setlocale leaves at "C".
AnsiCodePageId LocaleCodePage() {
    if (locale_t env = newlocale(LC_CTYPE_MASK, "", locale_t{}); env != locale_t{}) {
        const AnsiCodePageId id = IdForCharset(nl_langinfo_l(CODESET, env));
        freelocale(env);
        return id;
    }
    return IdForCharset(nl_langinfo(CODESET));
}

const AnsiCodePage& PageFor(AnsiCodePageId id) {
    switch (id) {
    case AnsiCodePageId::Utf8:
        return kUtf8Page;
    case AnsiCodePageId::Gbk:
        return kGbkPage;
    case AnsiCodePageId::SingleByte:
        break;
    }
    return kSingleBytePage;
}

} // namespace

std::size_t AnsiCodePage::CharLength(std::string_view text, std::size_t pos) const {
    if (pos >= text.size())
        return 1;
    switch (m_id) {
    case AnsiCodePageId::Utf8: {
        const auto decoded = DecodeUtf8(text, pos);
        return decoded ? decoded->length : 1;
    }
    case AnsiCodePageId::Gbk:
        return GbkCharLength(text, pos);
    case AnsiCodePageId::SingleByte:
        break;
    }
    return 1;
}

std::size_t AnsiCodePage::FindLast(std::string_view text, char c) const {
    std::size_t found = npos;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = CharLength(text, pos);
        if (length == 1 && text[pos] == c)
            found = pos;
        pos += length;
    }
    return found;
}

std::size_t AnsiCodePage::FindLast(std::string_view text, std::string_view needle) const {
    if (needle.empty())
        return text.size();
    std::size_t found = npos;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.size() - pos >= needle.size() && text.compare(pos, needle.size(), needle) == 0) {
            // The match must also end where a character ends, or it would take the lead
            // byte of a double-byte character for a character of its own.
            std::size_t end = pos;
            while (end < pos + needle.size())
                end += CharLength(text, end);
            if (end == pos + needle.size())
                found = pos;
        }
        pos += CharLength(text, pos);
    }
    return found;
}

bool AnsiCodePage::EqualsNoCase(std::string_view a, std::string_view b) const {
    if (m_id == AnsiCodePageId::Utf8)
        return EqualsNoCaseUtf8(a, b);
    if (a.size() != b.size())
        return false;
    // Both strings must split into the same characters; inside a multi-byte character the
    // bytes are compared as they are, since a trail byte that looks like a letter is not one.
    for (std::size_t pos = 0; pos < a.size();) {
        const std::size_t length = CharLength(a, pos);
        if (length != CharLength(b, pos))
            return false;
        if (length == 1) {
            const std::uint8_t x = Byte(a, pos);
            const std::uint8_t y = Byte(b, pos);
            if (x != y && !(IsAsciiLetter(x) && AsciiUpper(x) == AsciiUpper(y)))
                return false;
        } else if (a.compare(pos, length, b, pos, length) != 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

std::string AnsiCodePage::CaseFoldKey(std::string_view text) const {
    std::string key;
    key.reserve(text.size());
    if (m_id == AnsiCodePageId::Utf8) {
        for (std::size_t pos = 0; pos < text.size();) {
            if (const auto decoded = DecodeUtf8(text, pos)) {
                AppendUtf8(key, UpperCase(decoded->codePoint));
                pos += decoded->length;
            } else {
                // 0xFF never occurs in UTF-8: it marks a malformed byte, which matches only
                // itself.
                key += '\xFF';
                key += text[pos];
                ++pos;
            }
        }
        return key;
    }
    // Letters are never trail bytes here (a letter after a lead byte is its trail), so folding
    // single-byte letters keeps every character's bytes where they were.
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = CharLength(text, pos);
        if (length == 1) {
            const std::uint8_t b = Byte(text, pos);
            key += static_cast<char>(IsAsciiLetter(b) ? AsciiUpper(b) : b);
        } else {
            key.append(text, pos, length);
        }
        pos += length;
    }
    return key;
}

std::string AnsiCodePage::FromUtf16(std::u16string_view text) const {
    std::string out;
    switch (m_id) {
    case AnsiCodePageId::Utf8:
        out.reserve(text.size() * 3);
        ForEachUtf16CodePoint(text, [&out](char32_t cp) { AppendUtf8(out, cp); });
        return out;
    case AnsiCodePageId::Gbk: {
        std::string utf32;
        utf32.reserve(text.size() * 4);
        ForEachUtf16CodePoint(text, [&utf32](char32_t cp) { AppendUtf32Le(utf32, cp); });
        return Utf32LeToGbk(std::move(utf32));
    }
    case AnsiCodePageId::SingleByte:
        break;
    }
    out.reserve(text.size());
    ForEachUtf16CodePoint(text, [&out](char32_t cp) {
        out.push_back(cp < 0x80 ? static_cast<char>(cp) : kReplacement);
    });
    return out;
}

AnsiCodePageId CodePageIdForCharset(std::string_view charset) {
    const auto is = [charset](std::string_view name) {
        return charset.size() == name.size() &&
               strncasecmp(charset.data(), name.data(), name.size()) == 0;
    };
    // The plain C locale's ASCII says nothing about file names, which Linux systems write in
    // UTF-8: reading them as UTF-8 keeps non-ASCII names intact instead of turning them to '?'.
    if (is("UTF-8") || is("UTF8") || is("ANSI_X3.4-1968") || is("ASCII"))
        return AnsiCodePageId::Utf8;
    // GB2312 (EUC-CN) and GB18030 share GBK's lead and trail bytes for two-byte characters.
    for (std::string_view gbk : {"GBK", "GB2312", "GB18030", "CP936", "EUC-CN"}) {
        if (is(gbk))
            return AnsiCodePageId::Gbk;
    }
    return AnsiCodePageId::SingleByte;
}

const AnsiCodePage& ActiveCodePage() {
    int id = g_activeId.load(std::memory_order_acquire);
    if (id == kNotChosen) {
        // Two threads may both look the locale up; the first to store wins and both agree.
        int expected = kNotChosen;
        const int chosen = static_cast<int>(LocaleCodePage());
        id = g_activeId.compare_exchange_strong(expected, chosen, std::memory_order_acq_rel)
                 ? chosen
                 : expected;
    }
    return PageFor(static_cast<AnsiCodePageId>(id));
}

void SetActiveCodePage(AnsiCodePageId id) {
    g_activeId.store(static_cast<int>(id), std::memory_order_release);
}

} // namespace platform
