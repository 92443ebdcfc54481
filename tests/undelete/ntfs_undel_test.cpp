// The deleted-file engine on real NTFS images made by mkntfs and filled by ntfs-edit
// (libntfs-3g): the scan's candidates against The Sleuth Kit, and every restored file against
// its original.
#include <csignal>
#include <sys/resource.h>

#include "ntfs/attr_non_resident.h"
#include "ntfs/file_record.h"
#include "tests/undelete/undelete_scene.h"

using namespace testsupport;

namespace {

TEST(NtfsUndel, RestoresEveryDeletedFileByteForByte) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    Scene scene;
    ASSERT_TRUE(scene.ok);
    struct File {
        std::string name;
        std::size_t size;
    };
    const File files[] = {
        {"empty.txt", 0},        {"resident.txt", 300},    {"partial.bin", 4097},
        {"clusters.doc", 50000}, {"two-reads.bin", 65537}, {"big.pdf", 3u << 20},
    };
    std::vector<std::string> commands = {"mkdir", "/docs"};
    unsigned seed = 1;
    for (const File& f : files) {
        const std::string host = scene.Original(f.name, RandomBytes(f.size, seed++));
        commands.insert(commands.end(), {"put", host, "/docs/" + f.name});
    }
    // Two files in one-cluster pieces; a third keeps its data behind a hole.
    const std::string fragA = scene.Original("frag-a.xls", RandomBytes(300000, seed++));
    const std::string fragB = scene.Original("frag-b.xls", RandomBytes(200000, seed++));
    commands.insert(commands.end(), {"put-fragmented", fragA, "/docs/frag-a.xls", "put-fragmented",
                                     fragB, "/docs/frag-b.xls"});
    auto sparse = std::vector<std::uint8_t>(1u << 20, 0);
    const auto tail = RandomBytes(5000, seed++);
    sparse.insert(sparse.end(), tail.begin(), tail.end());
    scene.originals["sparse.dat"] = sparse;
    WriteFile(scene.dir / "host/sparse-tail", tail);
    commands.insert(commands.end(), {"put-sparse", scene.dir / "host/sparse-tail",
                                     "/docs/sparse.dat", std::to_string(1u << 20)});
    // A file still in use is never a candidate. (It is made before the deletions: a record
    // freed by one would be reused for it.)
    const std::string kept = scene.Original("kept.txt", RandomBytes(100, seed++));
    commands.insert(commands.end(), {"put", kept, "/docs/kept.txt"});
    for (const File& f : files) {
        commands.insert(commands.end(), {"rm", "/docs/" + f.name});
    }
    commands.insert(commands.end(),
                    {"rm", "/docs/frag-a.xls", "rm", "/docs/frag-b.xls", "rm", "/docs/sparse.dat"});
    ASSERT_TRUE(scene.Edit(commands));

    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(scene.image));
    EXPECT_EQ(engine.progress.load(), -1);
    const auto& candidates = engine.DeletedRecords();
    EXPECT_TRUE(std::is_sorted(candidates.begin(), candidates.end()));
    EXPECT_EQ(std::set<std::uint64_t>(candidates.begin(), candidates.end()),
              TskFreeRecords(scene.image));

    // The interleaved files really are in pieces: their data has more than one run.
    CFileRecord record(engine.Volume());
    std::array<char, CFileRecord::kAnsiNameCapacity> recordName{};
    int fragmented = 0;
    for (std::uint64_t n : candidates) {
        if (!record.LoadRecord(n) || !record.ParseAttributes() ||
            record.GetAnsiName(recordName) <= 0 ||
            std::string(recordName.data()).rfind("frag-", 0) != 0) {
            continue;
        }
        auto* data = dynamic_cast<CAttrNonResident*>(record.FindUnnamedData());
        ASSERT_NE(data, nullptr);
        fragmented += data->RunList().Count() > 1 ? 1 : 0;
    }
    EXPECT_EQ(fragmented, 2);

    for (const auto& [name, bytes] : scene.originals) {
        if (name == "kept.txt") {
            continue;
        }
        SCOPED_TRACE(name);
        std::vector<std::string> restored;
        EXPECT_TRUE(engine.RestoreByName(scene.dir / "out", name, restored));
        ASSERT_EQ(restored.size(), 1u);
        EXPECT_EQ(restored[0], scene.dir / ("out/" + name));
        EXPECT_EQ(ReadFile(restored[0]), bytes);
    }
    std::vector<std::string> none;
    EXPECT_FALSE(engine.RestoreByName(scene.dir / "out", "kept.txt", none));
    EXPECT_FALSE(engine.RestoreByName(scene.dir / "out", "absent.doc", none));
    EXPECT_TRUE(none.empty());
}

TEST(NtfsUndel, SameNameInOtherFoldersAndLetterCasesRestoresEachUnderTheRequestedName) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    Scene scene;
    ASSERT_TRUE(scene.ok);
    const auto first = RandomBytes(7000, 11);
    const auto second = RandomBytes(9000, 12);
    const auto third = RandomBytes(100, 13);
    WriteFile(scene.dir / "host/1", first);
    WriteFile(scene.dir / "host/2", second);
    WriteFile(scene.dir / "host/3", third);
    ASSERT_TRUE(scene.Edit({"mkdir", "/a", "mkdir", "/b", "put", scene.dir / "host/1",
                            "/a/Report.docx", "put", scene.dir / "host/2", "/b/REPORT.DOCX", "put",
                            scene.dir / "host/3", "/report.docx", "rm", "/a/Report.docx", "rm",
                            "/b/REPORT.DOCX", "rm", "/report.docx"}));
    WriteFile(scene.dir / "out/report.docx", "already here");

    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(scene.image));
    std::vector<std::string> restored;
    ASSERT_TRUE(engine.RestoreByName(scene.dir / "out/", "report.docx", restored));
    // In the order of the records, which is the order the files were made in; the file in the
    // output folder is left alone.
    ASSERT_EQ(restored, (std::vector<std::string>{scene.dir / "out/report(1).docx",
                                                  scene.dir / "out/report(2).docx",
                                                  scene.dir / "out/report(3).docx"}));
    EXPECT_EQ(ReadFile(restored[0]), first);
    EXPECT_EQ(ReadFile(restored[1]), second);
    EXPECT_EQ(ReadFile(restored[2]), third);
    EXPECT_EQ(
        ReadFile(scene.dir / "out/report.docx"),
        std::vector<std::uint8_t>({'a', 'l', 'r', 'e', 'a', 'd', 'y', ' ', 'h', 'e', 'r', 'e'}));

    // A second container of that name gets fresh copies: the restore keeps no state.
    std::vector<std::string> again;
    ASSERT_TRUE(engine.RestoreByName(scene.dir / "out", "REPORT.docx", again));
    EXPECT_EQ(again.size(), 3u);
    EXPECT_EQ(again.front(), scene.dir / "out/REPORT.docx"); // another name on this system
}

TEST(NtfsUndel, FailedWriteDeletesTheFileAndListsNothing) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    Scene scene;
    ASSERT_TRUE(scene.ok);
    WriteFile(scene.dir / "host/big", RandomBytes(400000, 21));
    ASSERT_TRUE(scene.Edit({"put", scene.dir / "host/big", "/big.bin", "rm", "/big.bin"}));
    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(scene.image));

    // A file size limit makes the copy's writes fail part way, as a full disk would.
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 100000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::vector<std::string> restored;
    const bool any = engine.RestoreByName(scene.dir / "out", "big.bin", restored);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(any);
    EXPECT_TRUE(restored.empty());
    EXPECT_FALSE(std::filesystem::exists(scene.dir / "out/big.bin"));
}

TEST(NtfsUndel, NoFreeOutputNameShowsCreationFailedAndDeletesNothing) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    Scene scene;
    ASSERT_TRUE(scene.ok);
    WriteFile(scene.dir / "host/a", RandomBytes(10, 31));
    ASSERT_TRUE(scene.Edit({"put", scene.dir / "host/a", "/a.txt", "rm", "/a.txt"}));
    WriteFile(scene.dir / "out/a.txt", "taken");
    for (int n = 1; n <= 49; ++n) {
        WriteFile(scene.dir / ("out/a(" + std::to_string(n) + ").txt"), "taken");
    }
    auto boxes = std::make_shared<ScriptedBoxes>();
    BoxesInstalled installed(boxes);
    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(scene.image));
    std::vector<std::string> restored;
    EXPECT_FALSE(engine.RestoreByName(scene.dir / "out", "a.txt", restored));
    EXPECT_EQ(boxes->texts, std::vector<std::string>{"File creation failed"});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scene.dir / "out"),
                            std::filesystem::directory_iterator()),
              50);
}

TEST(NtfsUndel, DeclinedLargeFileIsRemoved) {
    if (!ToolsPresent()) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    RunLargeCase({"over 100 MB, Cancel", k100MB + 1, false, true, false});
}

TEST(NtfsUndel, ScanEndsAtMinusOneWhateverHappens) {
    TempDir dir;
    WriteFile(dir / "not-ntfs.img", RandomBytes(1 << 20, 41));
    CNtfsUndel notNtfs;
    EXPECT_FALSE(notNtfs.ScanVolume(dir / "not-ntfs.img"));
    EXPECT_EQ(notNtfs.progress.load(), -1);
    EXPECT_TRUE(notNtfs.DeletedRecords().empty());
    EXPECT_EQ(notNtfs.Volume(), nullptr);
    std::vector<std::string> restored;
    EXPECT_FALSE(notNtfs.RestoreByName(dir.Path(), "a.txt", restored));

    CNtfsUndel missing;
    EXPECT_FALSE(missing.ScanVolume(dir / "absent.img"));
    EXPECT_EQ(missing.progress.load(), -1);

    if (!ToolsPresent()) {
        return;
    }
    Scene scene;
    ASSERT_TRUE(scene.ok);
    CNtfsUndel stopped;
    stopped.stopRequested.store(1);
    EXPECT_TRUE(stopped.ScanVolume(scene.image));
    EXPECT_EQ(stopped.progress.load(), -1);
    EXPECT_EQ(stopped.stopRequested.load(), 0);
    EXPECT_TRUE(stopped.DeletedRecords().empty());
}

} // namespace
