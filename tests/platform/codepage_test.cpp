// Character-by-character searches, case-insensitive comparison and UTF-16 conversion in the
// UTF-8, GBK and single-byte code pages.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using platform::AnsiCodePage;
using platform::AnsiCodePageId;

constexpr std::size_t npos = AnsiCodePage::npos;

// GBK characters whose trail byte is '\\' (0x5C): U+4E57 is 0x81 0x5C, U+76F6 is 0xB1 0x5C.
constexpr std::string_view kGbkTrailBackslash1 = "\x81\x5C";
constexpr std::string_view kGbkTrailBackslash2 = "\xB1\x5C";

const char* Name(AnsiCodePageId id) {
    switch (id) {
    case AnsiCodePageId::Utf8:
        return "UTF-8";
    case AnsiCodePageId::Gbk:
        return "GBK";
    case AnsiCodePageId::SingleByte:
        return "single-byte";
    }
    return "?";
}

std::string Str(std::string_view a, std::string_view b = {}, std::string_view c = {},
                std::string_view d = {}) {
    return std::string(a) + std::string(b) + std::string(c) + std::string(d);
}

struct LengthCase {
    const char* name;
    AnsiCodePageId id;
    std::string text;
    std::size_t pos;
    std::size_t want;
};

const LengthCase kLengthCases[] = {
    {"ascii", AnsiCodePageId::Utf8, "a", 0, 1},
    {"two-byte e acute", AnsiCodePageId::Utf8, "\xC3\xA9", 0, 2},
    {"three-byte CJK", AnsiCodePageId::Utf8, "\xE4\xB8\xAD", 0, 3},
    {"four-byte emoji", AnsiCodePageId::Utf8, "\xF0\x9F\x98\x80", 0, 4},
    {"second character", AnsiCodePageId::Utf8, "a\xE4\xB8\xAD", 1, 3},
    {"truncated two-byte", AnsiCodePageId::Utf8, "\xC3", 0, 1},
    {"truncated three-byte", AnsiCodePageId::Utf8, "\xE4\xB8", 0, 1},
    {"truncated four-byte", AnsiCodePageId::Utf8, "\xF0\x9F\x98", 0, 1},
    {"stray continuation", AnsiCodePageId::Utf8, "\x80\x80", 0, 1},
    {"bad continuation", AnsiCodePageId::Utf8, "\xC3(", 0, 1},
    {"overlong dot C0", AnsiCodePageId::Utf8, "\xC0\xAE", 0, 1},
    {"overlong C1", AnsiCodePageId::Utf8, "\xC1\xBF", 0, 1},
    {"overlong three-byte", AnsiCodePageId::Utf8, "\xE0\x80\xAE", 0, 1},
    {"overlong four-byte", AnsiCodePageId::Utf8, "\xF0\x8F\xBF\xBF", 0, 1},
    {"encoded surrogate", AnsiCodePageId::Utf8, "\xED\xA0\x80", 0, 1},
    {"above U+10FFFF", AnsiCodePageId::Utf8, "\xF4\x90\x80\x80", 0, 1},
    {"five-byte form", AnsiCodePageId::Utf8, "\xF8\x88\x80\x80\x80", 0, 1},
    {"byte FF", AnsiCodePageId::Utf8, "\xFF", 0, 1},
    {"ascii", AnsiCodePageId::Gbk, "a", 0, 1},
    {"lowest lead and trail", AnsiCodePageId::Gbk, "\x81\x40", 0, 2},
    {"highest lead and trail", AnsiCodePageId::Gbk, "\xFE\xFE", 0, 2},
    {"trail backslash", AnsiCodePageId::Gbk, std::string(kGbkTrailBackslash2), 0, 2},
    {"trail letter", AnsiCodePageId::Gbk,
     "\x81"
     "A",
     0, 2},
    {"trail 7F is not a trail", AnsiCodePageId::Gbk, "\x81\x7F", 0, 1},
    {"trail FF is not a trail", AnsiCodePageId::Gbk, "\x81\xFF", 0, 1},
    {"dot is not a trail", AnsiCodePageId::Gbk, "\x81.", 0, 1},
    {"slash is not a trail", AnsiCodePageId::Gbk, "\x81/", 0, 1},
    {"3F is not a trail", AnsiCodePageId::Gbk, "\x81?", 0, 1},
    {"80 is not a lead", AnsiCodePageId::Gbk, "\x80\x40", 0, 1},
    {"FF is not a lead", AnsiCodePageId::Gbk, "\xFF\x40", 0, 1},
    {"lead at the end", AnsiCodePageId::Gbk, "a\x81", 1, 1},
    {"GB18030 four-byte", AnsiCodePageId::Gbk, "\x81\x30\x81\x30", 0, 4},
    {"GB18030 four-byte, highest", AnsiCodePageId::Gbk, "\xFE\x39\xFE\x39", 0, 4},
    {"GB18030 truncated", AnsiCodePageId::Gbk, "\x81\x30\x81", 0, 1},
    {"GB18030 third not a lead", AnsiCodePageId::Gbk, "\x81\x30\x7F\x30", 0, 1},
    {"GB18030 fourth not a digit", AnsiCodePageId::Gbk, "\x81\x30\x81\x40", 0, 1},
    {"double-byte is two characters", AnsiCodePageId::SingleByte, "\x81\x40", 0, 1},
    {"UTF-8 is bytes", AnsiCodePageId::SingleByte, "\xE4\xB8\xAD", 0, 1},
};

TEST(CodePageCharLength, Table) {
    for (const auto& c : kLengthCases) {
        SCOPED_TRACE(std::string(Name(c.id)) + ": " + c.name);
        EXPECT_EQ(AnsiCodePage(c.id).CharLength(c.text, c.pos), c.want);
    }
}

// Every three-byte string over bytes that matter to the decoders: each character stays inside
// the text, and '.', '/' and '\0' never hide inside a multi-byte character in any code page.
TEST(CodePageCharLength, StaysInsideAndNeverSwallowsDotOrSlash) {
    const std::vector<char> bytes = {'\0',   '.',    '/',    '\\',   '0',    '9',    'A',    'a',
                                     '\x7F', '\x80', '\x81', '\xA9', '\xBF', '\xC0', '\xC3', '\xE0',
                                     '\xE4', '\xED', '\xF0', '\xF4', '\xFE', '\xFF'};
    for (AnsiCodePageId id :
         {AnsiCodePageId::Utf8, AnsiCodePageId::Gbk, AnsiCodePageId::SingleByte}) {
        const AnsiCodePage page(id);
        for (char x : bytes) {
            for (char y : bytes) {
                for (char z : bytes) {
                    const std::string text{x, y, z};
                    for (std::size_t pos = 0; pos < text.size(); ++pos) {
                        const std::size_t length = page.CharLength(text, pos);
                        ASSERT_GE(length, 1u);
                        ASSERT_LE(length, text.size() - pos);
                        for (std::size_t k = pos + 1; k < pos + length; ++k) {
                            ASSERT_NE(text[k], '.') << Name(id);
                            ASSERT_NE(text[k], '/') << Name(id);
                            ASSERT_NE(text[k], '\0') << Name(id);
                        }
                    }
                }
            }
        }
    }
}

struct FindCharCase {
    const char* name;
    AnsiCodePageId id;
    std::string text;
    char c;
    std::size_t want;
};

const FindCharCase kFindCharCases[] = {
    {"last of several backslashes", AnsiCodePageId::Gbk, "C:\\docs\\a.txt", '\\', 7},
    {"trail backslash skipped", AnsiCodePageId::Gbk, Str("C:\\d\\", kGbkTrailBackslash1), '\\', 4},
    {"trail backslash skipped, then dot", AnsiCodePageId::Gbk,
     Str("C:\\", kGbkTrailBackslash2, kGbkTrailBackslash1, ".docx"), '\\', 2},
    {"single-byte sees the trail byte", AnsiCodePageId::SingleByte,
     Str("C:\\d\\", kGbkTrailBackslash1), '\\', 6},
    {"no backslash but a trail", AnsiCodePageId::Gbk, Str(kGbkTrailBackslash1, "x"), '\\', npos},
    {"slash after a character", AnsiCodePageId::Gbk, Str("a/", kGbkTrailBackslash1, "/b"), '/', 4},
    {"dot after a bare lead byte", AnsiCodePageId::Gbk, "\x81.txt", '.', 1},
    {"dot in folder only", AnsiCodePageId::Gbk, Str("D:\\out.old\\", kGbkTrailBackslash2), '.', 6},
    {"dot after a lead byte at the end", AnsiCodePageId::Gbk, "a.\x81", '.', 1},
    {"no dot", AnsiCodePageId::Gbk, "C:\\docs\\Makefile", '.', npos},
    {"GB18030 digits are not characters", AnsiCodePageId::Gbk, "\x81\x30\x81\x30", '0', npos},
    {"GB18030 digits in single-byte", AnsiCodePageId::SingleByte, "\x81\x30\x81\x30", '0', 3},
    {"dot after truncated UTF-8", AnsiCodePageId::Utf8, "\xE4\xB8.txt", '.', 2},
    {"dot after Chinese in UTF-8", AnsiCodePageId::Utf8, "\xE4\xB8\xAD.\xE6\x96\x87", '.', 3},
    {"backslash after Chinese in UTF-8", AnsiCodePageId::Utf8, "a\\\xE4\xB8\xAD\\b", '\\', 5},
    {"empty text", AnsiCodePageId::Utf8, "", '.', npos},
};

TEST(CodePageFindLastChar, Table) {
    for (const auto& c : kFindCharCases) {
        SCOPED_TRACE(std::string(Name(c.id)) + ": " + c.name);
        EXPECT_EQ(AnsiCodePage(c.id).FindLast(c.text, c.c), c.want);
    }
}

struct FindTextCase {
    const char* name;
    AnsiCodePageId id;
    std::string text;
    std::string needle;
    std::size_t want;
};

const FindTextCase kFindTextCases[] = {
    {"plain", AnsiCodePageId::Gbk, "a.docx.WNCRY", "WNCRY", 7},
    {"last of two", AnsiCodePageId::Gbk, "WNCRY.WNCRY", "WNCRY", 6},
    {"W is a trail byte", AnsiCodePageId::Gbk, "x\xB1WNCRY", "WNCRY", npos},
    {"W as trail, later a real one", AnsiCodePageId::Gbk, "\xB1WNCRY.WNCRY", "WNCRY", 7},
    {"W as trail in single-byte", AnsiCodePageId::SingleByte, "x\xB1WNCRY", "WNCRY", 2},
    {"ends inside a character", AnsiCodePageId::Gbk, "ab\x81\x40", "b\x81", npos},
    {"whole double-byte character", AnsiCodePageId::Gbk, Str("a", kGbkTrailBackslash1, "b"),
     std::string(kGbkTrailBackslash1), 1},
    {"lead byte of a UTF-8 character", AnsiCodePageId::Utf8, "\xC3\xA9", "\xC3", npos},
    {"UTF-8 character", AnsiCodePageId::Utf8, "\xC3\xA9.\xC3\xA9", "\xC3\xA9", 3},
    {"needle longer than text", AnsiCodePageId::Utf8, "WNC", "WNCRY", npos},
    {"not present", AnsiCodePageId::Utf8, "report.docx", "WNCRY", npos},
    {"case matters", AnsiCodePageId::Utf8, "report.docx.wncry", "WNCRY", npos},
};

TEST(CodePageFindLastText, Table) {
    for (const auto& c : kFindTextCases) {
        SCOPED_TRACE(std::string(Name(c.id)) + ": " + c.name);
        EXPECT_EQ(AnsiCodePage(c.id).FindLast(c.text, c.needle), c.want);
    }
}

struct EqualsCase {
    const char* name;
    AnsiCodePageId id;
    std::string a;
    std::string b;
    bool want;
};

const EqualsCase kEqualsCases[] = {
    {"ascii", AnsiCodePageId::Utf8, "RECYCLER", "recycler", true},
    {"ascii differ", AnsiCodePageId::Utf8, "abc", "abd", false},
    {"lengths differ", AnsiCodePageId::Utf8, "abc", "abcd", false},
    {"empty", AnsiCodePageId::Utf8, "", "", true},
    {"French", AnsiCodePageId::Utf8, "r\xC3\xA9sum\xC3\xA9", "R\xC3\x89SUM\xC3\x89", true},
    {"German umlaut", AnsiCodePageId::Utf8, "\xC3\x84pfel", "\xC3\xA4PFEL", true},
    {"Cyrillic", AnsiCodePageId::Utf8, "\xD0\xB4\xD0\xBE\xD0\xBA", "\xD0\x94\xD0\x9E\xD0\x9A",
     true},
    {"Greek", AnsiCodePageId::Utf8, "\xCE\xB1\xCE\xB2\xCE\xB3", "\xCE\x91\xCE\x92\xCE\x93", true},
    {"Greek final sigma", AnsiCodePageId::Utf8, "\xCF\x82", "\xCE\xA3", true},
    {"accent is not a different case", AnsiCodePageId::Utf8, "\xC3\xA9", "e", false},
    {"different letters, same length", AnsiCodePageId::Utf8, "\xD0\xB4", "\xD0\xB5", false},
    {"Chinese has no case", AnsiCodePageId::Utf8, "\xE4\xB8\xAD", "\xE4\xB8\xAD", true},
    {"same invalid byte", AnsiCodePageId::Utf8, "a\xFF", "A\xFF", true},
    {"different invalid bytes", AnsiCodePageId::Utf8, "\xFF", "\xFE", false},
    {"raw Latin-1 bytes are not folded", AnsiCodePageId::Utf8, "\xE9", "\xC9", false},
    {"truncated against whole", AnsiCodePageId::Utf8, "\xC3", "\xC3\xA9", false},
    {"invalid against valid", AnsiCodePageId::Utf8, "\xC3(", "\xC3\xA9", false},
    {"ascii", AnsiCodePageId::Gbk, "RECYCLER", "Recycler", true},
    {"ascii around Chinese", AnsiCodePageId::Gbk,
     "\xD6\xD0"
     "abc",
     "\xD6\xD0"
     "ABC",
     true},
    {"different Chinese", AnsiCodePageId::Gbk, "\xD6\xD0", "\xD6\xD1", false},
    {"trail A is not a", AnsiCodePageId::Gbk,
     "\x81"
     "A",
     "\x81"
     "a",
     false},
    {"trail Z is not z", AnsiCodePageId::Gbk, "x\xB1Z", "X\xB1z", false},
    {"trail backslash, then letters", AnsiCodePageId::Gbk, Str(kGbkTrailBackslash2, "abc"),
     Str(kGbkTrailBackslash2, "ABC"), true},
    {"lead at the end", AnsiCodePageId::Gbk, "A\x81", "a\x81", true},
    {"GB18030 four-byte", AnsiCodePageId::Gbk, "\x81\x30\x81\x30x", "\x81\x30\x81\x30X", true},
    {"Latin-1 letters do not fold", AnsiCodePageId::SingleByte, "\xC9", "\xE9", false},
    {"ascii", AnsiCodePageId::SingleByte, "Report.DOCX", "report.docx", true},
    {"no trail bytes in single-byte", AnsiCodePageId::SingleByte,
     "\x81"
     "A",
     "\x81"
     "a",
     true},
};

TEST(CodePageEqualsNoCase, Table) {
    for (const auto& c : kEqualsCases) {
        SCOPED_TRACE(std::string(Name(c.id)) + ": " + c.name);
        const AnsiCodePage page(c.id);
        EXPECT_EQ(page.EqualsNoCase(c.a, c.b), c.want);
        EXPECT_EQ(page.EqualsNoCase(c.b, c.a), c.want) << "not symmetric";
    }
}

struct Utf16Case {
    const char* name;
    AnsiCodePageId id;
    std::u16string text;
    std::string want;
};

const Utf16Case kUtf16Cases[] = {
    {"ascii", AnsiCodePageId::Utf8, u"report.docx", "report.docx"},
    {"Latin", AnsiCodePageId::Utf8, u"\u00E9", "\xC3\xA9"},
    {"Chinese", AnsiCodePageId::Utf8, u"\u4E2D\u6587", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"surrogate pair", AnsiCodePageId::Utf8, u"\U0001F600", "\xF0\x9F\x98\x80"},
    {"unpaired high surrogate", AnsiCodePageId::Utf8,
     u"a\xD83D"
     "b",
     "a?b"},
    {"high surrogate at the end", AnsiCodePageId::Utf8, u"a\xD83D", "a?"},
    {"unpaired low surrogate", AnsiCodePageId::Utf8, u"\xDE00", "?"},
    {"reversed pair", AnsiCodePageId::Utf8, u"\xDE00\xD83D", "??"},
    {"empty", AnsiCodePageId::Utf8, u"", ""},
    {"ascii", AnsiCodePageId::Gbk, u"report.docx", "report.docx"},
    {"Chinese", AnsiCodePageId::Gbk, u"\u4E2D\u6587", "\xD6\xD0\xCE\xC4"},
    {"trail backslash", AnsiCodePageId::Gbk, u"C:\\\u4E57\\\u76F6.txt",
     Str("C:\\", kGbkTrailBackslash1, "\\", Str(kGbkTrailBackslash2, ".txt"))},
    {"Latin in GBK", AnsiCodePageId::Gbk, u"\u00E9", "\xA8\xA6"},
    {"euro sign", AnsiCodePageId::Gbk, u"\u20AC", "\x80"},
    {"not in GBK", AnsiCodePageId::Gbk, u"a\U0001F600b", "a?b"},
    {"Hangul is not in GBK", AnsiCodePageId::Gbk, u"\uD55C\u4E2D", "?\xD6\xD0"},
    {"unpaired surrogate", AnsiCodePageId::Gbk, u"\u4E2D\xD800\u6587", "\xD6\xD0?\xCE\xC4"},
    {"ascii", AnsiCodePageId::SingleByte, u"Makefile", "Makefile"},
    {"non-ascii", AnsiCodePageId::SingleByte, u"\u00E9\u4E2D.txt", "??.txt"},
    {"surrogate pair is one character", AnsiCodePageId::SingleByte, u"\U0001F600", "?"},
};

TEST(CodePageFromUtf16, Table) {
    for (const auto& c : kUtf16Cases) {
        SCOPED_TRACE(std::string(Name(c.id)) + ": " + c.name);
        EXPECT_EQ(AnsiCodePage(c.id).FromUtf16(c.text), c.want);
    }
}

// A name converted from NTFS must split into the same folder and extension as it did in UTF-16.
TEST(CodePageFromUtf16, GbkPathSplitsAtTheRealSeparators) {
    const AnsiCodePage page(AnsiCodePageId::Gbk);
    const std::string path = page.FromUtf16(u"C:\\\u4E57\\\u76F6\u4E57.WNCRY");
    const std::size_t slash = page.FindLast(path, '\\');
    ASSERT_NE(slash, npos);
    EXPECT_EQ(path.substr(slash + 1), Str(kGbkTrailBackslash2, kGbkTrailBackslash1, ".WNCRY"));
    EXPECT_EQ(page.FindLast(path, "WNCRY"), path.size() - 5);
}

struct CharsetCase {
    const char* charset;
    AnsiCodePageId want;
};

const CharsetCase kCharsetCases[] = {
    {"UTF-8", AnsiCodePageId::Utf8},
    {"utf8", AnsiCodePageId::Utf8},
    {"GBK", AnsiCodePageId::Gbk},
    {"GB2312", AnsiCodePageId::Gbk},
    {"GB18030", AnsiCodePageId::Gbk},
    {"CP936", AnsiCodePageId::Gbk},
    {"ISO-8859-1", AnsiCodePageId::SingleByte},
    {"ANSI_X3.4-1968", AnsiCodePageId::Utf8},
    {"", AnsiCodePageId::SingleByte},
    {"UTF-8x", AnsiCodePageId::SingleByte},
};

TEST(CodePageActive, CharsetNames) {
    for (const auto& c : kCharsetCases) {
        SCOPED_TRACE(c.charset);
        EXPECT_EQ(platform::CodePageIdForCharset(c.charset), c.want);
    }
}

TEST(CodePageActive, SetOverridesAndReadersSeeOneOfTheValues) {
    const AnsiCodePageId before = platform::ActiveCodePage().Id();
    std::atomic<bool> stop{false};
    std::vector<std::thread> readers;
    std::atomic<int> bad{0};
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                const AnsiCodePageId id = platform::ActiveCodePage().Id();
                if (id != AnsiCodePageId::Gbk && id != AnsiCodePageId::Utf8 && id != before)
                    ++bad;
            }
        });
    }
    for (int k = 0; k < 1000; ++k) {
        platform::SetActiveCodePage(k % 2 ? AnsiCodePageId::Gbk : AnsiCodePageId::Utf8);
    }
    stop = true;
    for (auto& r : readers)
        r.join();
    EXPECT_EQ(bad.load(), 0);

    platform::SetActiveCodePage(AnsiCodePageId::Gbk);
    EXPECT_EQ(platform::ActiveCodePage().Id(), AnsiCodePageId::Gbk);
    platform::SetActiveCodePage(AnsiCodePageId::SingleByte);
    EXPECT_EQ(platform::ActiveCodePage().Id(), AnsiCodePageId::SingleByte);
    platform::SetActiveCodePage(before);
}

} // namespace

// Names are looked up by their fold key, so the key must agree with the comparison both ways.
TEST(CodePageFoldKey, AgreesWithEqualsNoCaseOnEveryPair) {
    const std::vector<std::string> names = {
        "report.docx",
        "REPORT.DOCX",
        "Report.Docx",
        "report.doc",
        "\xC3\xA9",
        "\xC3\x89",
        "\xC3\x9F",
        "\xE1\xBA\x9E",
        "\xC4\xB1",
        "I",
        "i",
        "\xCF\x82",
        "\xCF\x83",
        "\xCE\xA3",
        "\xB1\x5C",
        "\xB1\x7C",
        "\x81"
        "a",
        "\x81"
        "A",
        "\xC3",
        "\xFF",
        "a\xC3",
        "A\xC3",
        "\x81\x30\x81\x30",
        "",
        "x",
    };
    for (auto id : {AnsiCodePageId::Utf8, AnsiCodePageId::Gbk, AnsiCodePageId::SingleByte}) {
        const platform::AnsiCodePage page(id);
        for (const auto& a : names) {
            for (const auto& b : names) {
                EXPECT_EQ(page.EqualsNoCase(a, b), page.CaseFoldKey(a) == page.CaseFoldKey(b))
                    << static_cast<int>(id) << " '" << a << "' '" << b << "'";
            }
        }
    }
}
