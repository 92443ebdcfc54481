// The job's two threads: the order of a run's messages, repeated runs, refusals, and ends of
// runs and of the job that leave no thread behind.
#include <filesystem>
#include <gtest/gtest.h>

#include "run/recovery_job.h"
#include "tests/run/run_fixtures.h"
#include "tests/support/containers.h"
#include "tests/support/temp_dir.h"

using namespace testsupport;

namespace {

struct JobRig {
    JobRig() {
        std::filesystem::create_directory(dir / "tree");
        std::filesystem::create_directory(dir / "out");
        job.SetEngineFactory([this] {
            auto engine = std::make_shared<ScriptedEngine>();
            engine->scanUntilStopped = scanUntilStopped;
            engine->copiesToRestore = copiesToRestore;
            engines.push_back(engine);
            return engine;
        });
    }
    bool Start() { return job.Start(dir / "tree", dir / "out", window.Handle(), "/dev/fake0"); }

    TempDir dir;
    RecordingWindow window;
    bool scanUntilStopped = false;
    int copiesToRestore = 0;
    std::vector<std::shared_ptr<ScriptedEngine>> engines;
    RecoveryJob job; // last: it ends before the window and the engines it uses
};

TEST(RecoveryJob, RunSendsBeginFirstAndEndLastAndResetsCountersEachRun) {
    JobRig rig;
    rig.copiesToRestore = 1;
    WriteFile(rig.dir / "tree/a.txt", "a");
    ASSERT_TRUE(
        MakeContainer(ForeignPublicKey(), rig.dir / "tree/a.txt", rig.dir / "tree/a.txt.WNCRY"));

    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        rig.window.messages.clear();
        ASSERT_TRUE(rig.Start());
        rig.window.RunUntilScanEnd();
        const auto kinds = rig.window.Kinds();
        ASSERT_GE(kinds.size(), 2u);
        EXPECT_EQ(kinds.front(), WM_SCAN_BEGIN);
        EXPECT_EQ(kinds.back(), WM_SCAN_END);
        ASSERT_EQ(std::count(kinds.begin(), kinds.end(), WM_RECOVERY_RESULT), 1);
        const auto& result =
            rig.window
                .messages[std::find(kinds.begin(), kinds.end(), WM_RECOVERY_RESULT) - kinds.begin()]
                .result;
        EXPECT_EQ(result.status, RestoredFromDisk);
        EXPECT_EQ(result.infectedCount, 1u);
        EXPECT_EQ(result.recoveredCount, 1u);
    }
    EXPECT_EQ(rig.engines.size(), 2u); // a fresh engine per run
    EXPECT_EQ(rig.engines[0]->scannedDevice, "/dev/fake0");
}

TEST(RecoveryJob, RefusesAnEmptyRootAndASecondStartWhileRunning) {
    JobRig rig;
    EXPECT_FALSE(rig.job.Start("", rig.dir / "out", rig.window.Handle(), ""));
    EXPECT_TRUE(rig.engines.empty());

    rig.scanUntilStopped = true;
    rig.copiesToRestore = 0;
    WriteFile(rig.dir / "tree/a.txt", "a");
    ASSERT_TRUE(
        MakeContainer(ForeignPublicKey(), rig.dir / "tree/a.txt", rig.dir / "tree/a.txt.WNCRY"));
    ASSERT_TRUE(rig.Start());
    // The walk waits for a scan that only a stop ends, so the run is certainly still going.
    EXPECT_FALSE(rig.Start());
    EXPECT_EQ(rig.engines.size(), 1u);
    rig.engines[0]->stopRequested.store(1);
    rig.window.RunUntilScanEnd();
    EXPECT_EQ(rig.window.messages.back().message, WM_SCAN_END);
}

TEST(RecoveryJob, DestroyingTheJobMidRunStopsTheScanAndJoinsBothThreads) {
    auto rig = std::make_unique<JobRig>();
    rig->scanUntilStopped = true;
    WriteFile(rig->dir / "tree/a.txt", "a");
    ASSERT_TRUE(
        MakeContainer(ForeignPublicKey(), rig->dir / "tree/a.txt", rig->dir / "tree/a.txt.WNCRY"));
    ASSERT_TRUE(rig->Start());
    // Once the container is counted, the walk waits for a scan that only a stop ends, and its
    // next send is blocked on this thread.
    rig->window.RunUntilSeen(WM_INFECTED_COUNT);
    std::shared_ptr<ScriptedEngine> engine = rig->engines.at(0);
    rig.reset(); // must neither hang nor leave a thread running
    EXPECT_EQ(engine->stopRequested.load(), 1);
    EXPECT_EQ(engine->progress.load(), -1);
}

TEST(RecoveryJob, ScanOfAnEarlierRunGoesOnBesideTheNextRun) {
    JobRig rig;
    rig.scanUntilStopped = true; // no container: nothing waits for these scans
    WriteFile(rig.dir / "tree/a.txt", "a");
    ASSERT_TRUE(rig.Start());
    rig.window.RunUntilScanEnd();
    ASSERT_TRUE(rig.Start());
    rig.window.RunUntilScanEnd();
    ASSERT_EQ(rig.engines.size(), 2u);
    EXPECT_NE(rig.engines[0], rig.engines[1]);
    EXPECT_EQ(rig.engines[0]->stopRequested.load(), 0); // still scanning on its own engine
    const auto kinds = rig.window.Kinds();
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), WM_DISK_PROGRESS), 0);
}

// The real engine on a real volume: the scan thread publishes its candidates with -1 while the
// walk thread waits, then the walk restores from them (the pair ThreadSanitizer watches).
TEST(RecoveryJob, RealEngineRestoresFromAnNtfsImage) {
    if (!std::filesystem::exists("/usr/sbin/mkntfs")) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    TempDir dir;
    std::filesystem::create_directories(dir / "tree");
    const std::string image = dir / "volume.img";
    WriteFile(image, std::string());
    std::filesystem::resize_file(image, 16u << 20);
    ASSERT_EQ(RunProgram("/usr/sbin/mkntfs", {"-F", "-Q", "-q", image}, dir / "log", true), 0);
    WriteFile(dir / "report.docx", "the original document");
    ASSERT_EQ(RunProgram(NTFS_EDIT_PATH,
                         {image, "put", dir / "report.docx", "/report.docx", "rm", "/report.docx"},
                         dir / "log", true),
              0);
    ASSERT_TRUE(
        MakeContainer(ForeignPublicKey(), dir / "report.docx", dir / "tree/report.docx.WNCRY"));

    RecordingWindow window;
    RecoveryJob job;
    ASSERT_TRUE(job.Start(dir / "tree", dir / "out-missing-is-fine", window.Handle(), image));
    window.RunUntilScanEnd();
    const auto& results = window.messages;
    auto result = std::find_if(results.begin(), results.end(),
                               [](const Recorded& r) { return r.message == WM_RECOVERY_RESULT; });
    ASSERT_NE(result, results.end());
    // The output folder does not exist: the restore could create nothing there.
    EXPECT_EQ(result->result.status, NotRecovered);

    std::filesystem::create_directories(dir / "out");
    window.messages.clear();
    ASSERT_TRUE(job.Start(dir / "tree", dir / "out", window.Handle(), image));
    window.RunUntilScanEnd();
    result = std::find_if(window.messages.begin(), window.messages.end(),
                          [](const Recorded& r) { return r.message == WM_RECOVERY_RESULT; });
    ASSERT_NE(result, window.messages.end());
    EXPECT_EQ(result->result.status, RestoredFromDisk);
    EXPECT_EQ(ReadFile(dir / "out/report.docx"),
              std::vector<std::uint8_t>(std::begin("the original document"),
                                        std::end("the original document") - 1));
}

} // namespace
