// The report log: its name, its entries and opening it.
#include "app/report_log.h"

#include "platform/shell_open.h"
#include "tests/diaglog/diaglog_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "[2021-03-03][14:05:09:007]";

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    EXPECT_EQ(start, text.size()) << "every line ends in CR LF";
    return lines;
}

} // namespace

struct PrefixCase {
    const char* name;
    const char* module;
    const char* want;
};

TEST(ReportLogName, PrefixDropsTheExtensionAndOneMoreCharacter) {
    const PrefixCase cases[] = {
        {"Windows-style example", "C:/tools/undo.exe", "C:/tools/und"},
        {"only the last dot counts", "/opt/a.b/tool.bin", "/opt/a.b/too"},
        {"no dot gives an empty prefix", "/usr/bin/docsalve", ""},
        {"dot in a folder only", "/opt/v1.2/docsalve", "/opt/v"},
        {"one character before the dot", "x.y", ""},
        {"dot first", ".hidden", ""},
        {"a multi-byte character goes whole", "/t/\xE6\x81\xA2\xE5\xA4\x8D.exe", "/t/\xE6\x81\xA2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportLogPrefix(c.module), c.want);
    }
}

struct StampCase {
    platform::LogTime time;
    const char* want;
};

TEST(ReportLogName, StampFieldsAreZeroPadded) {
    const StampCase cases[] = {
        {{2021, 3, 3, 14, 5, 9, 7}, "2021-03-03-140509007"},
        {{987, 1, 2, 3, 4, 5, 60}, "0987-01-02-030405060"},
        {{2030, 12, 31, 23, 59, 59, 999}, "2030-12-31-235959999"},
        {{2000, 10, 10, 0, 0, 0, 0}, "2000-10-10-000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.want);
        EXPECT_EQ(ReportLogStamp(c.time), c.want);
    }
}

TEST(ReportLogName, PathJoinsFolderPrefixAndStamp) {
    const platform::LogTime t{2021, 3, 3, 14, 5, 9, 7};
    EXPECT_EQ(NewReportLogPath("/state/docsalve", "/usr/bin/undo.exe", t),
              "/state/docsalve/und2021-03-03-140509007.log");
    EXPECT_EQ(NewReportLogPath("/state/docsalve/", "/usr/bin/docsalve", t),
              "/state/docsalve/2021-03-03-140509007.log");
    EXPECT_EQ(NewReportLogPath("/state", "/opt/v1.2/docsalve", t),
              "/state/2021-03-03-140509007.log")
        << "a dot in the program's folder does not shape the name";
    EXPECT_EQ(NewReportLogPath("", "C:/tools/undo.exe", t), "C:/tools/und2021-03-03-140509007.log")
        << "without a folder the log lies beside the program";
}

TEST_F(DiagLogSandbox, NewPathCreatesTheFolderButNoFile) {
    ASSERT_FALSE(fs::exists(m_reportDir));
    const std::string path = NewReportLogPath(m_clock);
    EXPECT_EQ(path, (m_reportDir / "und2021-03-03-140509007.log").string());
    EXPECT_TRUE(fs::is_directory(m_reportDir));
    EXPECT_FALSE(fs::exists(path));
}

struct EntryCase {
    const char* name;
    int status;
    int success;
    std::vector<std::string> want;
};

TEST(ReportLogEntries, TextsPerOutcome) {
    const EntryCase cases[] = {
        {"decrypted",
         kReportStatusDecrypted,
         1,
         {"被感染文件 /in/a.docx.WNCRY", "文件恢复到 /out/a.docx", "解密恢复成功！"}},
        {"restored from the disk",
         kReportStatusRestoredFromDisk,
         1,
         {"被感染文件 /in/a.docx.WNCRY", "文件恢复到 /out/a.docx", "从磁盘恢复成功！"}},
        {"other status with the success flag",
         7,
         1,
         {"被感染文件 /in/a.docx.WNCRY", "文件恢复到 /out/a.docx", "恢复成功！"}},
        {"not recovered",
         kReportStatusNotRecovered,
         0,
         {"被感染文件 /in/a.docx.WNCRY", "恢复失败！"}},
        {"the flag decides, not the status",
         kReportStatusDecrypted,
         0,
         {"被感染文件 /in/a.docx.WNCRY", "恢复失败！"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReportEntryTexts("/in/a.docx.WNCRY", "/out/a.docx", c.status, c.success), c.want);
    }
}

TEST_F(DiagLogSandbox, RunWritesThreeThreeAndTwoLines) {
    const std::string log = NewReportLogPath(m_clock);
    WriteReportEntries(log, "/d/a.docx.WNCRY", "/o/a.docx", kReportStatusDecrypted, 1);
    WriteReportEntries(log, "/d/b.xls.WNCRY", "/o/b.xls", kReportStatusRestoredFromDisk, 1);
    WriteReportEntries(log, "/d/b.xls.WNCRY", "/o/b(1).xls", kReportStatusRestoredFromDisk, 1);
    WriteReportEntries(log, "/d/c.pdf.WNCRY", "", kReportStatusNotRecovered, 0);
    const std::string p = kPrefix;
    const std::vector<std::string> want = {
        p + "被感染文件 /d/a.docx.WNCRY",
        p + "文件恢复到 /o/a.docx",
        p + "解密恢复成功！",
        p + "被感染文件 /d/b.xls.WNCRY",
        p + "文件恢复到 /o/b.xls",
        p + "从磁盘恢复成功！",
        p + "被感染文件 /d/b.xls.WNCRY",
        p + "文件恢复到 /o/b(1).xls",
        p + "从磁盘恢复成功！",
        p + "被感染文件 /d/c.pdf.WNCRY",
        p + "恢复失败！",
    };
    EXPECT_EQ(SplitCrLf(ReadFile(log)), want);
    EXPECT_EQ(DebuggerLines().size(), want.size()) << "the debugger output is on by default";
}

TEST_F(DiagLogSandbox, PathsWithPercentSignsAreNotFormats) {
    const std::string log = (m_root / "pct.log").string();
    WriteReportEntries(log, "/d/100%s%n.WNCRY", "/o/100%d", kReportStatusDecrypted, 1);
    const auto lines = SplitCrLf(ReadFile(log));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(kPrefix) + "被感染文件 /d/100%s%n.WNCRY");
    EXPECT_EQ(lines[1], std::string(kPrefix) + "文件恢复到 /o/100%d");
}

TEST_F(DiagLogSandbox, NoFileWhenFileOutputIsOff) {
    WriteSettings("OUTPUT=2\n");
    const std::string log = NewReportLogPath(m_clock);
    WriteReportEntries(log, "/d/a.WNCRY", "/o/a", kReportStatusDecrypted, 1);
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(DebuggerLines().size(), 3u);
}

TEST_F(DiagLogSandbox, OpenAsksTheDesktopEvenForAMissingLog) {
    const fs::path marker = m_root / "opened.txt";
    const fs::path opener = m_root / "opener.sh";
    WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + marker.string() + ".tmp\"\nmv \"" +
                          marker.string() + ".tmp\" \"" + marker.string() + "\"\n");
    fs::permissions(opener, fs::perms::owner_all);
    platform::SetShellOpenCommandOverride(opener.string());
    const std::string log = (m_root / "never written.log").string();
    OpenReportLog(log);
    platform::SetShellOpenCommandOverride("");
    // The opener runs detached; wait for its mark without timing anything.
    for (int i = 0; i < 1000 && !fs::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadFile(marker), log);
    EXPECT_FALSE(fs::exists(log));
}
