// Output naming: joining the folder and the name, and never overwriting a file.
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "run/output_naming.h"
#include "tests/support/temp_dir.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct JoinCase {
    const char* folder;
    const char* name;
    const char* want;
};

const JoinCase kJoinCases[] = {
    {"/out", "report.docx", "/out/report.docx"},
    {"/out/", "report.docx", "/out/report.docx"},
    {"/", "report.docx", "/report.docx"},
    {"", "report.docx", "report.docx"},
    {"out", "a", "out/a"},
};

TEST(JoinOutputPath, AddsExactlyOneSeparator) {
    for (const auto& c : kJoinCases) {
        SCOPED_TRACE(c.folder);
        EXPECT_EQ(JoinOutputPath(c.folder, c.name), c.want);
    }
}

// Existing names in the folder, the name asked for, the limit, and what must be created.
struct UniqueCase {
    const char* label;
    std::vector<std::string> existing;
    std::string subfolder; // created first, relative to the temporary folder
    std::string asked;
    int limit;
    std::string want; // empty: creation fails
};

std::vector<std::string> Numbered(const std::string& stem, const std::string& ext, int from,
                                  int to) {
    std::vector<std::string> names;
    for (int n = from; n <= to; ++n) {
        names.push_back(stem + "(" + std::to_string(n) + ")" + ext);
    }
    return names;
}

std::vector<std::string> With(std::vector<std::string> names, const std::string& extra) {
    names.push_back(extra);
    return names;
}

const std::vector<UniqueCase>& UniqueCases() {
    static const std::vector<UniqueCase> cases = {
        {"free name is used as is", {}, "out", "out/report.docx", 29, "out/report.docx"},
        {"taken name gets (1)",
         {"out/report.docx"},
         "out",
         "out/report.docx",
         29,
         "out/report(1).docx"},
        {"first free number after 28 taken",
         With(Numbered("out/report", ".docx", 1, 28), "out/report.docx"), "out", "out/report.docx",
         29, "out/report(29).docx"},
        {"limit 29 exhausted", With(Numbered("out/report", ".docx", 1, 29), "out/report.docx"),
         "out", "out/report.docx", 29, ""},
        {"limit 49 goes on to 30", With(Numbered("out/report", ".docx", 1, 29), "out/report.docx"),
         "out", "out/report.docx", 49, "out/report(30).docx"},
        {"no extension: number at the end",
         {"out/Makefile"},
         "out",
         "out/Makefile",
         29,
         "out/Makefile(1)"},
        {"dot only in the folder name",
         {"out.old/report"},
         "out.old",
         "out.old/report",
         29,
         "out.old/report(1)"},
        {"last dot of the name",
         {"out/archive.tar.gz"},
         "out",
         "out/archive.tar.gz",
         29,
         "out/archive.tar(1).gz"},
        {"a folder of that name counts as taken",
         {},
         "out/report.docx",
         "out/report.docx",
         29,
         "out/report(1).docx"},
    };
    return cases;
}

TEST(CreateUniqueFile, NeverOverwritesAndNumbersBeforeTheExtension) {
    for (const auto& c : UniqueCases()) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        std::filesystem::create_directories(dir / c.subfolder);
        for (const std::string& name : c.existing) {
            WriteFile(dir / name, "keep " + name);
        }
        std::string path = dir / c.asked;
        const std::string before = path;
        platform::File file = CreateUniqueFile(path, c.limit);
        if (c.want.empty()) {
            EXPECT_FALSE(file.IsOpen());
            EXPECT_EQ(path, before);
        } else {
            ASSERT_TRUE(file.IsOpen());
            EXPECT_EQ(path, dir / c.want);
            ASSERT_TRUE(file.Write("new", 3));
            EXPECT_EQ(ReadFile(path), (std::vector<std::uint8_t>{'n', 'e', 'w'}));
        }
        for (const std::string& name : c.existing) {
            const std::string text = "keep " + name;
            EXPECT_EQ(ReadFile(dir / name), std::vector<std::uint8_t>(text.begin(), text.end()))
                << name << " was touched";
        }
    }
}

TEST(CreateUniqueFile, MissingFolderFailsAtOnce) {
    TempDir dir;
    std::string path = dir / "absent/report.docx";
    EXPECT_FALSE(CreateUniqueFile(path, 49).IsOpen());
    EXPECT_EQ(path, dir / "absent/report.docx");
    EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
}

TEST(CreateUniqueFile, DanglingSymlinkIsNotFollowed) {
    TempDir dir;
    const std::string target = dir / "elsewhere.txt";
    std::filesystem::create_symlink(target, dir / "report.docx");
    std::string path = dir / "report.docx";
    platform::File file = CreateUniqueFile(path, 29);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(path, dir / "report(1).docx");
    EXPECT_FALSE(std::filesystem::exists(target));
}

} // namespace
