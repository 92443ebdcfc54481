// Real runs from the dialog: containers made by make-container, walked, decrypted or reported
// as not recovered, from WM_SCAN_BEGIN to WM_SCAN_END; and closing the window mid-run.
#include <QTest>

#include <filesystem>
#include <fstream>

#include "run/messages.h"
#include "tests/app/dialog_fixture.h"
#include "tests/support/containers.h"

namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

class DialogRunTest : public DialogTest {
protected:
    void SetUp() override {
        DialogTest::SetUp();
        m_tree = m_root / "volume";
        m_output = m_root / "recovered";
        m_originals = m_root / "originals";
        fs::create_directories(m_output);
        WriteText(m_originals / "report.docx", std::string(5000, 'r'));
        WriteText(m_originals / "ledger.csv", "date,amount\n2021-03-03,12\n");
        WriteText(m_tree / "readme.txt", "not encrypted\n");
        fs::create_directories(m_tree / "Documents" / "Finance");
        ASSERT_TRUE(testsupport::MakeContainer(
            testsupport::DemoPublicKey(), (m_originals / "report.docx").string(),
            (m_tree / "Documents" / "report.docx.WNCRY").string()));
        ASSERT_TRUE(testsupport::MakeContainer(
            testsupport::ForeignPublicKey(), (m_originals / "ledger.csv").string(),
            (m_tree / "Documents" / "Finance" / "ledger.csv.WNCRY").string()));
    }

    // The tree stands in for a volume; its device is an image that does not exist, so the
    // disk scan ends at once.
    CDocsalveDlg& MakeOverTree() {
        return Make({Volume(m_tree.string(), "ext4", (m_root / "no-image").string())});
    }

    // Runs the event loop until the end-of-run box has been shown.
    void RunUntilScanEnd() {
        auto ended = [&] {
            for (const auto& text : BoxTexts()) {
                if (text == "扫描恢复完成") {
                    return true;
                }
            }
            return false;
        };
        while (!ended()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }

    fs::path m_tree;
    fs::path m_output;
    fs::path m_originals;
};

TEST_F(DialogRunTest, RunRecoversWhatItCanAndReportsEveryContainer) {
    CDocsalveDlg& dialog = MakeOverTree();
    SetFolderText(m_output.string());
    Click(IDC_START_BUTTON);
    EXPECT_FALSE(Item<QPushButton>(IDC_START_BUTTON)->isEnabled()) << "disabled at once";
    EXPECT_TRUE(dialog.Job().IsRunning() || !BoxTexts().empty());

    RunUntilScanEnd();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"扫描恢复完成"}));
    EXPECT_EQ(dialog.OutputFolder(), m_output.string());
    EXPECT_EQ(Text(IDC_INFECTED_TEXT), "2");
    EXPECT_EQ(Text(IDC_RECOVERED_TEXT), "1");
    EXPECT_EQ(Text(IDC_FAILED_TEXT), "1");
    EXPECT_TRUE(Item<QPushButton>(IDC_START_BUTTON)->isEnabled());
    EXPECT_TRUE(Item<QPushButton>(IDC_REPORT_LOG_BUTTON)->isEnabled());

    EXPECT_EQ(ReadFile(m_output / "report.docx"), ReadFile(m_originals / "report.docx"));
    EXPECT_FALSE(fs::exists(m_output / "ledger.csv"));

    // Three entries for the decrypted container, two for the other, in the walk's order.
    const std::string log = ReadFile(dialog.ReportLogPath());
    EXPECT_NE(log.find("被感染文件 " + (m_tree / "Documents" / "report.docx.WNCRY").string()),
              std::string::npos);
    EXPECT_NE(log.find("文件恢复到 " + (m_output / "report.docx").string()), std::string::npos);
    EXPECT_NE(log.find("解密恢复成功！"), std::string::npos);
    EXPECT_NE(
        log.find("被感染文件 " + (m_tree / "Documents" / "Finance" / "ledger.csv.WNCRY").string()),
        std::string::npos);
    EXPECT_NE(log.find("恢复失败！"), std::string::npos);
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = log.find("\r\n", at)) != std::string::npos; at += 2) {
        ++lines;
    }
    EXPECT_EQ(lines, 5u);

    // A second run on the same dialog starts from zero again and writes a log of its own.
    const std::string firstLog = dialog.ReportLogPath();
    m_prompts->boxes.clear();
    fs::remove(m_output / "report.docx");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    Click(IDC_START_BUTTON);
    EXPECT_EQ(Text(IDC_RECOVERED_TEXT), "0");
    RunUntilScanEnd();
    EXPECT_EQ(Text(IDC_RECOVERED_TEXT), "1");
    EXPECT_EQ(Text(IDC_FAILED_TEXT), "1");
    EXPECT_NE(dialog.ReportLogPath(), firstLog);
}

// The volume is a small NTFS image on which ledger.csv was written and deleted: the container
// that no key opens comes back from the disk, and the progress of the scan is shown meanwhile.
TEST_F(DialogRunTest, RunOverAnImageRestoresTheDeletedOriginal) {
    if (!fs::exists("/usr/sbin/mkntfs")) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    const std::string image = (m_root / "volume.img").string();
    std::ofstream(image).close();
    fs::resize_file(image, 16u << 20);
    ASSERT_EQ(testsupport::RunProgram("/usr/sbin/mkntfs", {"-F", "-Q", "-q", image},
                                      (m_root / "mkntfs.log").string(), true),
              0);
    ASSERT_EQ(testsupport::RunProgram(NTFS_EDIT_PATH,
                                      {image, "put", (m_originals / "ledger.csv").string(),
                                       "/ledger.csv", "rm", "/ledger.csv"},
                                      (m_root / "edit.log").string(), true),
              0);

    CDocsalveDlg& dialog = Make({Volume(m_tree.string(), "ntfs3", image)});
    SetFolderText(m_output.string());
    Click(IDC_START_BUTTON);
    RunUntilScanEnd();
    EXPECT_EQ(Text(IDC_INFECTED_TEXT), "2");
    EXPECT_EQ(Text(IDC_RECOVERED_TEXT), "2");
    EXPECT_EQ(Text(IDC_FAILED_TEXT), "0");
    EXPECT_EQ(ReadFile(m_output / "ledger.csv"), ReadFile(m_originals / "ledger.csv"));
    EXPECT_NE(ReadFile(dialog.ReportLogPath()).find("从磁盘恢复成功！"), std::string::npos);
}

TEST_F(DialogRunTest, ClosingDuringARunStopsItWithoutWaitingForTheUser) {
    for (int i = 0; i < 50; ++i) {
        WriteText(m_tree / "many" / ("file" + std::to_string(i) + ".txt"), "x");
    }
    CDocsalveDlg& dialog = MakeOverTree();
    SetFolderText(m_output.string());
    Click(IDC_START_BUTTON);
    ASSERT_TRUE(dialog.Job().IsRunning());
    // The walk is blocked in its first send, which the dialog has not handled; destroying the
    // dialog fails that send and every later one, and joins the threads.
    m_dialog.reset();
    EXPECT_TRUE(m_prompts->Boxes().empty());
}

TEST_F(DialogRunTest, ClosingInTheMiddleOfARunLeavesNothingBehind) {
    CDocsalveDlg& dialog = MakeOverTree();
    SetFolderText(m_output.string());
    Click(IDC_START_BUTTON);
    // Handle a few messages, then go away while the walk is still sending.
    while (Item<QPushButton>(IDC_REPORT_LOG_BUTTON)->isEnabled()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The run's engine outlives the dialog here only through this reference: once the dialog
    // is gone, its scan must have ended (its thread was stopped and joined, not left running).
    const std::shared_ptr<CNtfsUndel> engine = dialog.Job().engine;
    ASSERT_NE(engine, nullptr);
    m_dialog.reset();
    EXPECT_EQ(engine->progress.load(), -1);
    EXPECT_EQ(engine.use_count(), 1);
}

} // namespace
