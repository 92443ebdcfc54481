// The profile functions and the file-backed registry store.
#include "tests/diaglog/diaglog_fixture.h"

#include "platform/profile_ini.h"
#include "platform/registry_store.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kIni = "; settings\n"
                             "top=before any section\n"
                             "[Debug]\n"
                             "  Output  =  7  \n"
                             "LogName=\"  quoted  \"\n"
                             "single='x'\n"
                             "half=\"open\n"
                             "empty=\n"
                             "noequals\n"
                             "; Hidden=1\n"
                             "hex=0x1F\n"
                             "neg=-5\n"
                             "word=abc\n"
                             "mixed=12abc\n"
                             "spaced= +9\n"
                             "bin=0b101\n"
                             "[other]\n"
                             "Output=99\n"
                             "[DEBUG]\n"
                             "late=only in the repeated section\n";

} // namespace

struct StringCase {
    const char* name;
    const char* section;
    const char* key;
    const char* defaultValue;
    std::uint32_t size;
    const char* want;
};

TEST_F(DiagLogSandbox, ProfileStringMatchesWindowsRules) {
    WriteFile(m_windowsDir / "test.ini", kIni);
    const StringCase cases[] = {
        {"section and key without regard to case", "DEBUG", "OUTPUT", "d", 64, "7"},
        {"matching quotes dropped, inner blanks kept", "debug", "logname", "d", 64, "  quoted  "},
        {"single quotes dropped", "debug", "single", "d", 64, "x"},
        {"unmatched quote kept", "debug", "half", "d", 64, "\"open"},
        {"empty value is not the default", "debug", "empty", "d", 64, ""},
        {"line without '=' is a key", "debug", "noequals", "d", 64, ""},
        {"commented key is missing", "debug", "hidden", "dflt", 64, "dflt"},
        {"missing key gives the default", "debug", "nothing", "dflt", 64, "dflt"},
        {"default loses trailing blanks", "debug", "nothing", "dflt  ", 64, "dflt"},
        {"null default is empty", "debug", "nothing", nullptr, 64, ""},
        {"other section's value", "OTHER", "output", "d", 64, "99"},
        {"only the first section of a name counts", "debug", "late", "d", 64, "d"},
        {"missing section", "nowhere", "output", "d", 64, "d"},
        {"value cut to the buffer", "debug", "logname", "d", 5, "  qu"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char out[64] = "garbage";
        const std::uint32_t n = platform::GetPrivateProfileStringA(c.section, c.key, c.defaultValue,
                                                                   out, c.size, "test.ini");
        EXPECT_EQ(std::string(out), c.want);
        EXPECT_EQ(n, std::string(c.want).size());
    }
}

TEST_F(DiagLogSandbox, ProfileFileWithFolderIsUsedAsGiven) {
    WriteFile(m_root / "elsewhere.ini", "[s]\nk=v\n");
    char out[8];
    EXPECT_EQ(platform::GetPrivateProfileStringA("s", "k", "", out, sizeof out,
                                                 (m_root / "elsewhere.ini").c_str()),
              1u);
    EXPECT_STREQ(out, "v");
    EXPECT_EQ(
        platform::GetPrivateProfileStringA("s", "k", "none", out, sizeof out, "elsewhere.ini"), 4u)
        << "a bare name is looked up in the Windows directory only";
}

struct IntCase {
    const char* name;
    const char* key;
    std::uint32_t want;
};

TEST_F(DiagLogSandbox, ProfileIntReadsTheLeadingNumber) {
    WriteFile(m_windowsDir / "test.ini", kIni);
    const IntCase cases[] = {
        {"decimal with blanks", "output", 7},
        {"hexadecimal", "hex", 31},
        {"negative keeps its bits", "neg", 0xFFFFFFFBu},
        {"no digits read as zero", "word", 0},
        {"trailing text ignored", "mixed", 12},
        {"sign after blanks", "spaced", 9},
        {"binary prefix", "bin", 5},
        {"empty value gives the default", "empty", 512},
        {"missing key gives the default", "nothing", 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::GetPrivateProfileIntA("debug", c.key, 512, "test.ini"), c.want);
    }
}

struct RegistryCase {
    const char* name;
    const char* store; // null: no store file
    std::uint32_t size;
    bool wantFound;
    const char* want;
};

TEST_F(DiagLogSandbox, RegistryStoreReadsStringValues) {
    const RegistryCase cases[] = {
        {"no store", nullptr, 260, false, ""},
        {"value found, names without regard to case",
         "[HKEY_LOCAL_MACHINE\\Software\\Halvorn\\Vexo]\nDATAPATH=/srv/v\n", 260, true, "/srv/v"},
        {"other hive is not the machine's",
         "[HKEY_CURRENT_USER\\SOFTWARE\\Halvorn\\Vexo]\ndatapath=/u\n", 260, false, ""},
        {"value that just fits", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvorn\\Vexo]\ndatapath=abcd\n",
         5, true, "abcd"},
        {"value too long is refused, not cut",
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvorn\\Vexo]\ndatapath=abcde\n", 5, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        std::filesystem::remove(m_registryFile, ignored);
        if (c.store != nullptr) {
            WriteFile(m_registryFile, c.store);
        }
        char out[260] = "garbage";
        EXPECT_EQ(platform::RegistryReadLocalMachineString("SOFTWARE\\Halvorn\\Vexo", "datapath",
                                                           out, c.size),
                  c.wantFound);
        EXPECT_STREQ(out, c.want);
    }
}
