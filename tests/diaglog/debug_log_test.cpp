// The diagnostic log: number rule, line format and cuts, file target and rotation, settings
// and their refresh timing.
#include "tests/diaglog/diaglog_fixture.h"

#include "diaglog/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "[2021-03-03][14:05:09:007]";

} // namespace

// --- The number rule of "OUTPUT" ---------------------------------------------------------

struct NumberCase {
    const char* name;
    const char* settings; // the [DEBUG] lines, or null for no settings file
    std::int32_t want;
};

TEST_F(DiagLogSandbox, ReadNumberFollowsOctalHexDecimalOrder) {
    const NumberCase cases[] = {
        {"no settings file", nullptr, 3},
        {"key missing", "LOGSIZE=4\n", 3},
        {"empty value", "OUTPUT=\n", 3},
        {"zero means the default", "OUTPUT=0\n", 3},
        {"double zero means the default", "OUTPUT=00\n", 3},
        {"hex zero means the default", "OUTPUT=0x0\n", 3},
        {"hex after 0x, lower case", "OUTPUT=0x5\n", 5},
        {"hex digits upper-cased", "OUTPUT=0x1f\n", 31},
        {"octal after a leading 0", "OUTPUT=010\n", 8},
        {"leading 0 without octal digits reads decimal", "OUTPUT=08\n", 8},
        {"plain decimal", "OUTPUT=6\n", 6},
        {"negative decimal kept", "OUTPUT=-1\n", -1},
        {"trailing text ignored", "OUTPUT=12abc\n", 12},
        {"key name without regard to case", "output=4\n", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove(m_windowsDir / "VEXO.INI", ignored);
        if (c.settings != nullptr) {
            WriteSettings(c.settings);
        }
        EXPECT_EQ(DebugLogReadNumber("OUTPUT", 3), c.want);
    }
}

// --- Line format and its cuts ------------------------------------------------------------

struct LineCase {
    const char* name;
    std::size_t messageLength;
    std::size_t wantLength;
    const char* wantEnd; // the line's last bytes after the message part
    std::size_t wantMessageBytes;
};

TEST(DebugLogLine, CutsAtTheBufferLimit) {
    const platform::LogTime t{2021, 3, 3, 14, 5, 9, 7};
    const LineCase cases[] = {
        {"empty message", 0, 28, "\r\n", 0},
        {"short message", 5, 33, "\r\n", 5},
        {"2019 bytes keep the whole line end", 2019, 2047, "\r\n", 2019},
        {"2020 bytes keep only the CR", 2020, 2047, "\r", 2020},
        {"2021 bytes lose the line end", 2021, 2047, "", 2021},
        {"longer messages are cut to 2021 bytes", 2046, 2047, "", 2021},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message(c.messageLength, 'm');
        const std::string line = DebugLogBuildLine(t, message);
        ASSERT_EQ(line.size(), c.wantLength);
        EXPECT_EQ(line.substr(0, 26), kPrefix);
        const std::string end = c.wantEnd;
        EXPECT_EQ(line.substr(26), std::string(c.wantMessageBytes, 'm') + end);
    }
}

TEST(DebugLogLine, ZeroPadsEveryTimeField) {
    EXPECT_EQ(DebugLogBuildLine({987, 1, 2, 3, 4, 5, 6}, "x"), "[0987-01-02][03:04:05:006]x\r\n");
    EXPECT_EQ(DebugLogBuildLine({2024, 12, 31, 23, 59, 58, 999}, ""),
              "[2024-12-31][23:59:58:999]\r\n");
}

TEST_F(DiagLogSandbox, PrintCutsFormattedTextAt2046Bytes) {
    const fs::path log = m_root / "long.log";
    const std::string big(5000, 'b');
    DebugLogPrint(log.c_str(), "%s", big.c_str());
    const std::string text = ReadFile(log);
    EXPECT_EQ(text.size(), 2047u);
    EXPECT_EQ(text.substr(26), std::string(2021, 'b'));
}

TEST_F(DiagLogSandbox, PrintFormatsArguments) {
    const fs::path log = m_root / "fmt.log";
    DebugLogPrint(log.c_str(), "%s=%d", "count", 42);
    EXPECT_EQ(ReadFile(log), std::string(kPrefix) + "count=42\r\n");
}

// --- Target and rotation paths -----------------------------------------------------------

struct PathCase {
    const char* name;
    const char* in;
    const char* want;
};

TEST(DebugLogRotation, CutsAtTheLastDotAnywhere) {
    const PathCase cases[] = {
        {"extension replaced", "/var/log/report.log", "/var/log/report2.log"},
        {"only the last extension", "/var/log/a.b.log", "/var/log/a.b2.log"},
        {"no dot: appended to the whole path", "/var/log/report", "/var/log/report2.log"},
        {"dot in a folder name", "/var/lo.g/report", "/var/lo2.log"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DebugLogRotationPath(c.in), c.want);
    }
}

TEST_F(DiagLogSandbox, TargetPathPlacesBareNamesBesideTheProgram) {
    const std::string dir = m_programDir.string() + "/";
    EXPECT_EQ(DebugLogTargetPath(nullptr), dir + "undo.exe.log");
    EXPECT_EQ(DebugLogTargetPath(""), dir + "undo.exe.log");
    EXPECT_EQ(DebugLogTargetPath("trace.txt"), dir + "trace.txt");
    EXPECT_EQ(DebugLogTargetPath("/elsewhere/trace.txt"), "/elsewhere/trace.txt");
    EXPECT_EQ(DebugLogTargetPath("sub/trace.txt"), "sub/trace.txt");
}

// --- Size limit and rotation of real files -----------------------------------------------

TEST_F(DiagLogSandbox, LogSizeZeroKeepsOnlyTheLatestLine) {
    WriteSettings("LOGSIZE=0\n");
    const fs::path log = m_root / "run.log";
    DebugLogPrint(log.c_str(), "first");
    EXPECT_FALSE(fs::exists(m_root / "run2.log")) << "a new file is not rotated";
    DebugLogPrint(log.c_str(), "second");
    DebugLogPrint(log.c_str(), "third");
    EXPECT_EQ(ReadFile(log), std::string(kPrefix) + "third\r\n");
    EXPECT_EQ(ReadFile(m_root / "run2.log"), std::string(kPrefix) + "second\r\n");
}

struct SizeCase {
    const char* name;
    std::size_t existingBytes;
    bool wantRotation;
};

TEST_F(DiagLogSandbox, RotatesOnlyFilesLargerThanTheLimit) {
    WriteSettings("LOGSIZE=1\n");
    const SizeCase cases[] = {
        {"empty file", 0, false},
        {"one byte under", 1023, false},
        {"exactly the limit", 1024, false},
        {"one byte over", 1025, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path log = m_root / "sized.log";
        const fs::path rotation = m_root / "sized2.log";
        std::error_code ignored;
        fs::remove(rotation, ignored);
        const std::string before(c.existingBytes, 'x');
        WriteFile(log, before);
        DebugLogPrint(log.c_str(), "line");
        const std::string line = std::string(kPrefix) + "line\r\n";
        if (c.wantRotation) {
            EXPECT_EQ(ReadFile(log), line);
            EXPECT_EQ(ReadFile(rotation), before);
        } else {
            EXPECT_EQ(ReadFile(log), before + line);
            EXPECT_FALSE(fs::exists(rotation));
        }
    }
}

TEST_F(DiagLogSandbox, RotationReplacesAnOlderRotationFile) {
    WriteSettings("LOGSIZE=0\n");
    const fs::path log = m_root / "r.log";
    WriteFile(m_root / "r2.log", "old rotation");
    WriteFile(log, "current");
    DebugLogPrint(log.c_str(), "new");
    EXPECT_EQ(ReadFile(m_root / "r2.log"), "current");
}

TEST_F(DiagLogSandbox, RotatesAPathWithoutAnyDot) {
    if (m_root.string().find('.') != std::string::npos) {
        GTEST_SKIP() << "the temporary folder's path has a '.'";
    }
    WriteSettings("LOGSIZE=0\n");
    const fs::path log = m_root / "nodot";
    WriteFile(log, "before");
    DebugLogPrint(log.c_str(), "after");
    EXPECT_EQ(ReadFile(m_root.string() + "/nodot2.log"), "before");
    EXPECT_EQ(ReadFile(log), std::string(kPrefix) + "after\r\n");
}

TEST_F(DiagLogSandbox, UnwritableTargetLosesTheLineButNotTheOtherOutputs) {
    DebugLogPrint((m_root / "missing-folder" / "x.log").c_str(), "lost");
    EXPECT_FALSE(fs::exists(m_root / "missing-folder"));
    ASSERT_EQ(DebuggerLines().size(), 1u);
    EXPECT_EQ(DebuggerLines()[0], std::string(kPrefix) + "lost\r\n");
}

// --- Settings: outputs, default file, data path ------------------------------------------

struct OutputCase {
    const char* name;
    const char* settings; // null: no settings file
    bool wantFile;
    bool wantDebugger;
};

TEST_F(DiagLogSandbox, OutputFlagsSelectTheOutputs) {
    const OutputCase cases[] = {
        {"no settings file: file and debugger", nullptr, true, true},
        {"0 behaves as 3", "OUTPUT=0\n", true, true},
        {"010 is octal 8, used by no output", "OUTPUT=010\n", false, false},
        {"0x5 is file and viewer", "OUTPUT=0x5\n", true, false},
        {"6 is debugger and viewer", "OUTPUT=6\n", false, true},
        {"4 is the viewer alone", "OUTPUT=4\n", false, false},
        {"-1 sets every output", "OUTPUT=-1\n", true, true},
        {"1 is the file alone", "OUTPUT=1\n", true, false},
    };
    std::uint32_t tick = 20000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ignored;
        fs::remove(m_windowsDir / "VEXO.INI", ignored);
        if (c.settings != nullptr) {
            WriteSettings(c.settings);
        }
        tick += kDebugRefreshIntervalMs + 1;
        m_clock.tick = tick;
        const fs::path log = m_root / "out.log";
        fs::remove(log, ignored);
        const std::size_t debugBefore = DebuggerLines().size();
        DebugLogPrint(log.c_str(), "entry");
        EXPECT_EQ(fs::exists(log), c.wantFile);
        EXPECT_EQ(DebuggerLines().size() - debugBefore, c.wantDebugger ? 1u : 0u);
    }
}

TEST_F(DiagLogSandbox, DefaultsBeforeTheFirstRefreshAreFileOnly) {
    m_clock.tick = kDebugRefreshIntervalMs; // the system started at most 10 s ago
    WriteSettings("OUTPUT=2\n");
    const fs::path log = m_root / "early.log";
    DebugLogPrint(log.c_str(), "early");
    EXPECT_TRUE(fs::exists(log));
    EXPECT_TRUE(DebuggerLines().empty());
    const auto s = DebugLogCurrentSettings();
    EXPECT_EQ(s.output, DEBUG_OUTPUT_FILE);
    EXPECT_EQ(s.logSizeKb, 512u);
    EXPECT_EQ(s.lastRefreshTick, 0u);
}

TEST_F(DiagLogSandbox, NullFileWritesTheDefaultLog) {
    DebugLogPrint(nullptr, "to the default");
    EXPECT_EQ(DebugLogCurrentSettings().defaultPath, m_programPath.string() + ".log");
    EXPECT_EQ(ReadFile(m_programPath.string() + ".log"),
              std::string(kPrefix) + "to the default\r\n");
}

TEST_F(DiagLogSandbox, DefaultLogGoesToAnExistingLogfilesFolder) {
    fs::create_directories(m_programDir / "logfiles");
    DebugLogPrint(nullptr, "kept apart");
    const fs::path want = m_programDir / "logfiles" / "undo.exe.log";
    EXPECT_EQ(DebugLogCurrentSettings().defaultPath, want.string());
    EXPECT_EQ(ReadFile(want), std::string(kPrefix) + "kept apart\r\n");
}

TEST_F(DiagLogSandbox, LogfilesAsAPlainFileIsNotAFolder) {
    WriteFile(m_programDir / "logfiles", "");
    DebugLogRefreshSettings();
    EXPECT_EQ(DebugLogCurrentSettings().defaultPath, m_programPath.string() + ".log");
}

TEST_F(DiagLogSandbox, BareLogNameLandsBesideTheProgramWithoutExtension) {
    WriteSettings("LOGNAME=trace.txt\n");
    DebugLogPrint(nullptr, "traced");
    EXPECT_EQ(DebugLogCurrentSettings().defaultPath, "trace.txt");
    EXPECT_EQ(ReadFile(m_programDir / "trace.txt"), std::string(kPrefix) + "traced\r\n");
    EXPECT_FALSE(fs::exists(m_programDir / "trace.txt.log"));
}

TEST_F(DiagLogSandbox, DataPathFromTheRegistryLocatesTheSettings) {
    const fs::path data = m_root / "data";
    fs::create_directories(data);
    WriteFile(data / "VEXO.INI", "[debug]\nOutput = 2\n");
    WriteSettings("OUTPUT=1\n"); // the bare name must not be used any more
    WriteFile(m_registryFile,
              "[HKEY_LOCAL_MACHINE\\software\\halvorn\\VEXO]\nDataPath=" + data.string() + "\n");
    EXPECT_EQ(DebugLogReadDataPath(), data.string() + "/");
    EXPECT_EQ(DebugLogSettingsFilePath(), data.string() + "/VEXO.INI");
    EXPECT_EQ(DebugLogReadNumber("OUTPUT", 3), 2);
}

TEST_F(DiagLogSandbox, DataPathGetsItsSeparatorEvenWhenItHasOne) {
    WriteFile(m_registryFile,
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvorn\\Vexo]\ndatapath=/srv/vexo/\n");
    EXPECT_EQ(DebugLogReadDataPath(), "/srv/vexo//");
    WriteFile(m_registryFile, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvorn\\Vexo]\nother=1\n");
    EXPECT_EQ(DebugLogReadDataPath(), "");
    EXPECT_EQ(DebugLogSettingsFilePath(), "VEXO.INI");
}

// --- Refresh timing ----------------------------------------------------------------------

struct TickStep {
    const char* name;
    const char* settings; // written before the step, or null to keep the file
    std::uint32_t tick;
    std::uint32_t wantOutput; // the flags in force after the step's line
};

TEST_F(DiagLogSandbox, SettingsAreReadAgainOnlyAfterTenSeconds) {
    const TickStep steps[] = {
        {"within 10 s of start-up: no refresh", "OUTPUT=2\n", 10000, DEBUG_OUTPUT_FILE},
        {"first line after 10 s refreshes", nullptr, 10001, DEBUG_OUTPUT_DEBUGGER},
        {"exactly 10 s later: not yet", "OUTPUT=1\n", 20001, DEBUG_OUTPUT_DEBUGGER},
        {"more than 10 s later: refreshed", nullptr, 20002, DEBUG_OUTPUT_FILE},
        {"near the wrap", "OUTPUT=2\n", 0xFFFFFFF0u, DEBUG_OUTPUT_DEBUGGER},
        {"after the wrap, under 10 s", "OUTPUT=1\n", 9000, DEBUG_OUTPUT_DEBUGGER},
        {"after the wrap, over 10 s", nullptr, 10000, DEBUG_OUTPUT_FILE},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.settings != nullptr) {
            WriteSettings(s.settings);
        }
        m_clock.tick = s.tick;
        DebugLogWriteLine(nullptr, nullptr);
        EXPECT_EQ(DebugLogCurrentSettings().output, s.wantOutput);
    }
}

TEST_F(DiagLogSandbox, RefreshReadsEveryKey) {
    WriteSettings("OUTPUT=0x3\nLOGSIZE=0x20\nLOGNAME=/var/tmp/x.log\n");
    m_clock.tick = 123456;
    DebugLogRefreshSettings();
    const auto s = DebugLogCurrentSettings();
    EXPECT_EQ(s.output, 3u);
    EXPECT_EQ(s.logSizeKb, 32u);
    EXPECT_EQ(s.defaultPath, "/var/tmp/x.log");
    EXPECT_EQ(s.lastRefreshTick, 123456u);
    EXPECT_FALSE(s.hasViewer);
}
