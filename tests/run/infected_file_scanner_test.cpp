// The walk and the triage of containers, seen through the messages a window receives.
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/codepage.h"
#include "run/infected_file_scanner.h"
#include "tests/run/run_fixtures.h"
#include "tests/support/containers.h"
#include "tests/support/temp_dir.h"

using namespace testsupport;

namespace {

// Every test starts its clock far from the previous test's, so that the process-wide time of
// the last announcement never hides a test's first file.
std::uint32_t FreshTick() {
    static std::uint32_t next = 1'000'000;
    next += 1'000'000;
    return next;
}

// The scanner runs on the test's thread, which also owns the window: sends are direct calls.
struct ScannerRig {
    explicit ScannerRig(std::shared_ptr<CNtfsUndel> engine = nullptr) {
        std::filesystem::create_directory(dir / "tree");
        std::filesystem::create_directory(dir / "out");
        scanner.Prepare(window.Handle(), dir / "out", std::move(engine));
    }
    std::uint64_t Walk() { return scanner.Walk(dir / "tree"); }

    TempDir dir;
    RecordingWindow window;
    InfectedFileScanner scanner;
};

void MakeDocumentContainer(const std::string& folder, const std::string& name,
                           const std::string& publicKey, const std::string& text) {
    WriteFile(folder + "/" + name, text);
    ASSERT_TRUE(MakeContainer(publicKey, folder + "/" + name, folder + "/" + name + ".WNCRY"));
    std::filesystem::remove(folder + "/" + name);
}

TEST(InfectedFileScanner, CountsFilesAndSkipsWhatItMust) {
    ManualClock clock(FreshTick());
    ScannerRig rig;
    const std::string tree = rig.dir / "tree";
    std::filesystem::create_directories(tree + "/my.docs");
    std::filesystem::create_directories(tree + "/RECYCLER/deep");
    std::filesystem::create_directories(tree + "/$Recycle.Bin");
    WriteFile(tree + "/a.txt", "a");
    WriteFile(tree + "/Makefile", "no dot: met but not examined");
    WriteFile(tree + "/my.docs/Makefile", "the dot of the folder counts");
    WriteFile(tree + "/RECYCLER/deep/b.txt", "skipped with its folder");
    WriteFile(tree + "/recycler", "skipped in any letter case");
    WriteFile(tree + "/$Recycle.Bin/c.txt", "walked");
    std::filesystem::create_symlink(tree + "/my.docs", tree + "/link-to-dir");
    std::filesystem::create_symlink(tree + "/a.txt", tree + "/link.txt");
    ASSERT_EQ(::mkfifo((tree + "/pipe.docx.WNCRY").c_str(), 0600), 0); // would block a reader

    EXPECT_EQ(rig.Walk(), 4u); // a.txt, Makefile, my.docs/Makefile, $Recycle.Bin/c.txt
    EXPECT_EQ(rig.scanner.scannedCount, 3u);
    EXPECT_EQ(rig.scanner.infectedCount, 0u);
    for (const auto& r : rig.window.messages) {
        EXPECT_EQ(r.message, WM_SCAN_FILE); // no container: nothing but announcements
    }
}

TEST(InfectedFileScanner, AnnouncesAtMostOncePerFiftyMilliseconds) {
    struct Step {
        std::uint32_t advanceBefore;
        bool announced;
    };
    const Step steps[] = {{0, true}, {0, false}, {50, false}, {1, true}, {51, true}, {10, false}};
    ManualClock clock(FreshTick());
    ScannerRig rig;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        clock.Advance(steps[i].advanceBefore);
        rig.window.messages.clear();
        rig.scanner.ExamineFile(rig.dir / ("tree/f" + std::to_string(i) + ".txt"));
        EXPECT_EQ(rig.window.messages.size(), steps[i].announced ? 1u : 0u) << "step " << i;
        if (steps[i].announced && !rig.window.messages.empty()) {
            EXPECT_EQ(rig.window.messages[0].scan.scannedCount, i + 1);
            EXPECT_EQ(rig.window.messages[0].scan.recovering, 0);
        }
    }
    EXPECT_EQ(rig.scanner.scannedCount, std::size(steps));
}

TEST(InfectedFileScanner, ThrottleSurvivesTheTickWrapping) {
    ManualClock clock(0xFFFFFFF0u);
    ScannerRig rig;
    rig.scanner.ExamineFile(rig.dir / "tree/a.txt");
    clock.Advance(0x40); // wraps to 0x30: 64 ms later
    rig.scanner.ExamineFile(rig.dir / "tree/b.txt");
    EXPECT_EQ(rig.window.messages.size(), 2u);
}

TEST(InfectedFileScanner, DecryptedContainerIsOneCountAndOneResult) {
    ManualClock clock(FreshTick());
    auto engine = std::make_shared<ScriptedEngine>();
    engine->SetProgress(425); // a decryption never waits for the disk scan
    ScannerRig rig(engine);
    MakeDocumentContainer(rig.dir / "tree", "report.docx", DemoPublicKey(), "the report");

    rig.Walk();
    ASSERT_EQ(rig.window.Kinds(),
              (std::vector<std::uint32_t>{WM_SCAN_FILE, WM_INFECTED_COUNT, WM_RECOVERY_RESULT}));
    const auto& result = rig.window.messages[2].result;
    EXPECT_EQ(result.status, Decrypted);
    EXPECT_EQ(rig.window.messages[2].successFlag, 1);
    EXPECT_EQ(result.infectedCount, 1u);
    EXPECT_EQ(result.recoveredCount, 1u);
    EXPECT_EQ(result.failedCount, 0u);
    EXPECT_STREQ(result.infectedPath, (rig.dir / "tree/report.docx.WNCRY").c_str());
    EXPECT_STREQ(result.recoveredPath, (rig.dir / "out/report.docx").c_str());
    EXPECT_TRUE(engine->restoreRequests.empty());
}

TEST(InfectedFileScanner, WaitsForTheDiskScanThenReportsEveryRestoredFile) {
    ManualClock clock(FreshTick());
    auto engine = std::make_shared<ScriptedEngine>();
    engine->copiesToRestore = 2;
    engine->SetProgress(425);
    int sleeps = 0;
    clock.OnSleep([&] {
        ++sleeps;
        engine->SetProgress(sleeps == 1 ? 700 : -1);
    });
    ScannerRig rig(engine);
    MakeDocumentContainer(rig.dir / "tree", "report.docx", ForeignPublicKey(), "secret");

    rig.Walk();
    ASSERT_EQ(rig.window.Kinds(),
              (std::vector<std::uint32_t>{WM_SCAN_FILE, WM_INFECTED_COUNT, WM_DISK_PROGRESS,
                                          WM_DISK_PROGRESS, WM_SCAN_FILE, WM_RECOVERY_RESULT,
                                          WM_RECOVERY_RESULT}));
    const auto& m = rig.window.messages;
    EXPECT_EQ(m[2].value, 425u); // the value read before each pause
    EXPECT_EQ(m[3].value, 700u);
    EXPECT_EQ(m[4].scan.recovering, 1);
    EXPECT_STREQ(m[4].scan.path, "report.docx");
    EXPECT_EQ(engine->restoreRequests, std::vector<std::string>{"report.docx"});
    for (int i = 0; i < 2; ++i) {
        const auto& result = m[5 + i].result;
        EXPECT_EQ(result.status, RestoredFromDisk);
        EXPECT_EQ(m[5 + i].successFlag, 1);
        EXPECT_EQ(result.infectedCount, 1u);
        EXPECT_EQ(result.recoveredCount, static_cast<std::uint64_t>(i + 1));
        EXPECT_STREQ(result.infectedPath, (rig.dir / "tree/report.docx.WNCRY").c_str());
    }
    EXPECT_STREQ(m[5].result.recoveredPath, (rig.dir / "out/report.docx").c_str());
    EXPECT_STREQ(m[6].result.recoveredPath, (rig.dir / "out/report(1).docx").c_str());

    // Once the scan has ended, later containers go straight to the restore.
    rig.window.messages.clear();
    MakeDocumentContainer(rig.dir / "tree", "other.txt", ForeignPublicKey(), "more");
    clock.Advance(1000);
    rig.scanner.ExamineFile(rig.dir / "tree/other.txt.WNCRY");
    EXPECT_EQ(rig.window.Kinds(),
              (std::vector<std::uint32_t>{WM_SCAN_FILE, WM_INFECTED_COUNT, WM_SCAN_FILE,
                                          WM_RECOVERY_RESULT, WM_RECOVERY_RESULT}));
    EXPECT_EQ(rig.window.messages.back().result.recoveredCount, 4u);
}

TEST(InfectedFileScanner, FailuresAreCountedAndReported) {
    struct Case {
        const char* label;
        bool withEngine;
        std::vector<std::uint32_t> kinds;
    };
    const Case cases[] = {
        {"no engine: failed at once", false, {WM_INFECTED_COUNT, WM_RECOVERY_RESULT}},
        {"engine restores nothing", true, {WM_INFECTED_COUNT, WM_SCAN_FILE, WM_RECOVERY_RESULT}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ManualClock clock(FreshTick());
        auto engine = std::make_shared<ScriptedEngine>();
        engine->SetProgress(-1);
        ScannerRig rig(c.withEngine ? engine : nullptr);
        MakeDocumentContainer(rig.dir / "tree", "a.docx", ForeignPublicKey(), "x");
        MakeDocumentContainer(rig.dir / "tree", "b.docx", ForeignPublicKey(), "y");
        rig.scanner.ExamineFile(rig.dir / "tree/a.docx.WNCRY");
        rig.window.messages.clear();
        rig.scanner.ExamineFile(rig.dir / "tree/b.docx.WNCRY"); // within 50 ms: not announced
        ASSERT_EQ(rig.window.Kinds(), c.kinds);
        const auto& last = rig.window.messages.back();
        EXPECT_EQ(last.result.status, NotRecovered);
        EXPECT_EQ(last.successFlag, 0);
        EXPECT_EQ(last.result.infectedCount, 2u);
        EXPECT_EQ(last.result.failedCount, 2u);
        EXPECT_EQ(last.result.recoveredCount, 0u);
        EXPECT_STREQ(last.result.recoveredPath, "");
    }
}

TEST(InfectedFileScanner, LowerCaseExtensionIsAContainerRestoredFromTheDisk) {
    ManualClock clock(FreshTick());
    auto engine = std::make_shared<ScriptedEngine>();
    engine->SetProgress(-1);
    engine->copiesToRestore = 1;
    ScannerRig rig(engine);
    WriteFile(rig.dir / "tree/report.docx", "doc");
    ASSERT_TRUE(MakeContainer(DemoPublicKey(), rig.dir / "tree/report.docx",
                              rig.dir / "tree/report.docx.wncry"));
    std::filesystem::remove(rig.dir / "tree/report.docx");

    rig.Walk();
    // The decryption looks for the marker in capitals and so leaves this one to the restore.
    EXPECT_EQ(engine->restoreRequests, std::vector<std::string>{"report.docx"});
    EXPECT_EQ(rig.window.messages.back().result.status, RestoredFromDisk);
}

TEST(InfectedFileScanner, GbkNamesKeepTheirTrailBytes) {
    // 0xB1 0x5C is one GBK character whose trail byte is a backslash.
    platform::SetActiveCodePage(platform::AnsiCodePageId::Gbk);
    ManualClock clock(FreshTick());
    auto engine = std::make_shared<ScriptedEngine>();
    engine->SetProgress(-1);
    ScannerRig rig(engine);
    const std::string folder = rig.dir / "tree/\xB1\x5C";
    std::filesystem::create_directory(folder);
    MakeDocumentContainer(folder, "\xB1\x5C.txt", DemoPublicKey(), "decrypts");
    MakeDocumentContainer(folder, "\xB1\x5C\xB1\x5C.doc", ForeignPublicKey(), "restored");

    rig.Walk();
    platform::SetActiveCodePage(platform::AnsiCodePageId::Utf8);
    EXPECT_TRUE(std::filesystem::exists(rig.dir / "out/\xB1\x5C.txt"));
    EXPECT_EQ(engine->restoreRequests, std::vector<std::string>{"\xB1\x5C\xB1\x5C.doc"});
}

TEST(InfectedFileScanner, PathsBeyondTheTextLimitAreSkipped) {
    ManualClock clock(FreshTick());
    ScannerRig rig;
    std::string deep = rig.dir / "tree";
    while (deep.size() < 900) {
        deep += "/" + std::string(100, 'd');
        std::filesystem::create_directory(deep);
    }
    const std::string fits = deep + "/" + std::string(1039 - deep.size() - 1 - 4, 'f') + ".txt";
    const std::string tooLong = deep + "/" + std::string(1040 - deep.size() - 1 - 4, 'g') + ".txt";
    ASSERT_EQ(fits.size(), 1039u);
    WriteFile(fits, "fits");
    WriteFile(tooLong, "skipped");

    EXPECT_EQ(rig.Walk(), 1u);
    ASSERT_EQ(rig.window.messages.size(), 1u);
    EXPECT_STREQ(rig.window.messages[0].scan.path, fits.c_str());
}

TEST(CopyEventText, CutsAt1039BytesAndTerminates) {
    for (std::size_t length : {0u, 1038u, 1039u, 1040u, 5000u}) {
        ScanFileEvent event;
        std::memset(event.path, 'z', sizeof event.path);
        CopyEventText(event.path, std::string(length, 'p'));
        const std::size_t kept = std::min<std::size_t>(length, 1039);
        EXPECT_EQ(std::strlen(event.path), kept) << length;
        EXPECT_EQ(event.path[1039], '\0');
    }
}

} // namespace
