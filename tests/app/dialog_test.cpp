// The main dialog: its controls, the start checks, the folder picker, the run's messages and
// the report log they write, the keys it ignores, the About entry and the engine's boxes.
#include <QAction>
#include <QGroupBox>
#include <QTest>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "app/dialog_units.h"
#include "app/engine_message_box.h"
#include "platform/device_access.h"
#include "platform/shell_open.h"
#include "run/messages.h"
#include "tests/app/dialog_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kCaption = "勒索文档Halvorn恢复工具";

struct ControlCase {
    int id;           // -1: a control without an id, found by its text
    const char* type; // Qt class
    const char* text;
    int x, y, w, h; // dialog units
};

// The dialog template: every control with its text and place.
const ControlCase kControls[] = {
    {-1, "QGroupBox", "设置", 7, 7, 291, 69},
    {-1, "QLabel", "扫描驱动器：", 15, 22, 44, 8},
    {IDC_START_BUTTON, "QPushButton", "一键恢复", 237, 21, 50, 42},
    {-1, "QLabel", "文件恢复到：", 15, 47, 44, 11},
    {IDC_FOLDER_EDIT, "QLineEdit", "", 56, 46, 95, 14},
    {IDC_BROWSE_BUTTON, "QPushButton", "...", 152, 46, 13, 14},
    {-1, "QGroupBox", "扫描详情", 7, 85, 291, 73},
    {-1, "QLabel", "当前扫描文件：", 16, 103, 49, 8},
    {IDC_CURRENT_FILE_TEXT, "QLabel", "", 64, 103, 214, 8},
    {-1, "QLabel", "扫描文件数：", 16, 121, 42, 8},
    {IDC_SCANNED_TEXT, "QLabel", "0", 56, 121, 50, 8},
    {-1, "QLabel", "被感染数：", 116, 121, 35, 8},
    {IDC_INFECTED_TEXT, "QLabel", "0", 150, 121, 80, 8},
    {-1, "QLabel", "修复成功：", 16, 140, 35, 8},
    {IDC_RECOVERED_TEXT, "QLabel", "0", 52, 140, 56, 8},
    {-1, "QLabel", "修复失败：", 116, 140, 35, 8},
    {IDC_FAILED_TEXT, "QLabel", "0", 150, 140, 67, 8},
    {IDC_REPORT_LOG_BUTTON, "QPushButton", "详细日志", 237, 134, 50, 14},
    {-1, "QLabel", "本工具尽可能的帮助您恢复被勒索病毒加密勒索的文档文件", 26, 165, 179, 8},
};

QString TextOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) {
        return l->text();
    }
    if (auto* b = qobject_cast<QPushButton*>(w)) {
        return b->text();
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        return g->title();
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        return e->text();
    }
    return {};
}

// The entry texts of a report log, without their time stamps.
std::vector<std::string> LogEntries(const std::string& path) {
    std::vector<std::string> entries;
    std::ifstream file(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = text.substr(start, end - start);
        const std::size_t stamp = line.find(']', line.find(']') + 1);
        entries.push_back(stamp == std::string::npos ? line : line.substr(stamp + 1));
    }
    return entries;
}

// Waits until the system clock has moved on by a millisecond, so that a new report-log name
// differs from the last one.
void NextMillisecond() {
    const auto start = std::chrono::system_clock::now();
    while (std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now() -
                                                                 start)
               .count() < 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace

TEST(DialogUnits, ConvertLikeADialogTemplate) {
    struct Case {
        int baseX, baseY, units, x, y;
    };
    // x = (units * baseX + 2) / 4, y = (units * baseY + 4) / 8, each rounded down.
    const Case cases[] = {
        {6, 13, 13, 20, 21},    {6, 13, 14, 21, 23}, {7, 16, 305, 534, 610},
        {7, 16, 178, 312, 356}, {8, 17, 1, 2, 2},    {8, 17, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.units);
        const DialogUnits units(c.baseX, c.baseY);
        EXPECT_EQ(units.X(c.units), c.x);
        EXPECT_EQ(units.Y(c.units), c.y);
    }
}

TEST(DialogUnits, BaseUnitsComeFromTheAlphabetAndTheFontHeight) {
    const QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 9);
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ")) +
                         metrics.horizontalAdvance(QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    const DialogUnits units(font);
    // Half the mean letter width, rounded up; the advance of the two halves may differ from
    // the whole string's by kerning at the seam, hence the tolerance of one pixel there.
    EXPECT_NEAR(units.BaseX(), (alphabet / 26 + 1) / 2, 1);
    EXPECT_EQ(units.BaseY(), metrics.height());
}

TEST_F(DialogTest, ControlsHaveTheirIdsTextsAndPlaces) {
    CDocsalveDlg& dialog = Make({Volume("/")});
    const DialogUnits units(dialog.font());
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Mendora");
    EXPECT_EQ(dialog.size(), QSize(units.X(305), units.Y(178)));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "the window is not resizable";
    EXPECT_EQ(dialog.font().pointSize(), 9);

    const auto children = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (const auto& c : kControls) {
        SCOPED_TRACE(c.text);
        QWidget* control = nullptr;
        if (c.id > 0) {
            control = dialog.GetDlgItem(c.id);
        } else {
            for (QWidget* child : children) {
                if (TextOf(child) == QString::fromUtf8(c.text) &&
                    child->property(kControlIdProperty).toInt() == -1) {
                    control = child;
                }
            }
        }
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->metaObject()->className(), c.type);
        EXPECT_EQ(TextOf(control).toStdString(), c.text);
        EXPECT_EQ(control->geometry(), units.Rect(c.x, c.y, c.w, c.h));
    }

    // The drive box: editable, nothing typed becomes an item, as tall as the edit beside it.
    auto* combo = Item<QComboBox>(IDC_DRIVE_COMBO);
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->insertPolicy(), QComboBox::NoInsert);
    EXPECT_EQ(combo->geometry(), units.Rect(56, 21, 55, 14));
    EXPECT_TRUE(Item<QLineEdit>(IDC_FOLDER_EDIT)->isReadOnly());

    // No button is the default one.
    for (int id : {IDC_START_BUTTON, IDC_BROWSE_BUTTON, IDC_REPORT_LOG_BUTTON}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(Item<QPushButton>(id)->isDefault());
        EXPECT_FALSE(Item<QPushButton>(id)->autoDefault());
    }

    // The logo keeps its bitmap's size at its place; the description is never shown.
    dialog.show();
    bool logoSeen = false;
    for (QWidget* child : children) {
        auto* label = qobject_cast<QLabel*>(child);
        if (label != nullptr && !label->pixmap().isNull()) {
            logoSeen = true;
            EXPECT_EQ(label->geometry(), QRect(units.X(230), units.Y(163), 99, 13));
        }
        if (TextOf(child).startsWith(QString::fromUtf8("本工具"))) {
            EXPECT_FALSE(child->isVisible());
        }
    }
    EXPECT_TRUE(logoSeen);
}

TEST_F(DialogTest, OpensWithZeroCountersAndTheFirstVolumeSelected) {
    CDocsalveDlg& dialog = Make({{0, 20, "/proc", "proc", "proc"},
                                 Volume("/"),
                                 Volume("/run", "tmpfs", "tmpfs"),
                                 Volume("/media/win", "fuseblk", "/dev/sdb1", 8, 17),
                                 Volume("/home")});
    EXPECT_EQ(dialog.DriveItems(), (std::vector<std::string>{"/", "/media/win", "/home"}));
    auto* combo = Item<QComboBox>(IDC_DRIVE_COMBO);
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(1).toStdString(), "/media/win");
    EXPECT_EQ(combo->currentIndex(), 0);
    for (int id : {IDC_SCANNED_TEXT, IDC_INFECTED_TEXT, IDC_RECOVERED_TEXT, IDC_FAILED_TEXT}) {
        EXPECT_EQ(Text(id), "0");
    }
    EXPECT_EQ(Text(IDC_CURRENT_FILE_TEXT), "");
    EXPECT_EQ(fs::path(dialog.ReportLogPath()).parent_path(), m_reportDir);
    EXPECT_EQ(fs::path(dialog.ReportLogPath()).extension(), ".log");
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(DialogTest, StartResetsTheDisplayBeforeItsChecks) {
    struct Case {
        const char* name;
        bool withVolume;
        const char* folder;
        const char* box;
    };
    const Case cases[] = {
        {"no volume listed, no folder: the volume is asked for first", false, "",
         "请选择 扫描驱动器"},
        {"no volume listed", false, "/tmp", "请选择 扫描驱动器"},
        {"empty folder", true, "", "请填写 修复文件保存路径"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CDocsalveDlg& dialog =
            Make(c.withVolume ? std::vector{Volume("/")} : std::vector<platform::MountEntry>{});
        m_prompts->boxes.clear();
        SetFolderText(c.folder);
        // Counters and the current file as a finished run leaves them.
        auto counter = std::make_unique<CounterEvent>();
        counter->infectedCount = 4;
        platform::SendMessageA(dialog.WindowHandle(), WM_INFECTED_COUNT,
                               reinterpret_cast<platform::WPARAM>(counter.release()), 0);
        platform::SendMessageA(dialog.WindowHandle(), WM_DISK_PROGRESS, 500, 0);
        const std::string oldLog = dialog.ReportLogPath();
        NextMillisecond();

        Click(IDC_START_BUTTON);
        ASSERT_EQ(m_prompts->boxes.size(), 1u);
        EXPECT_EQ(m_prompts->boxes[0].text, c.box);
        EXPECT_EQ(m_prompts->boxes[0].caption, kCaption);
        EXPECT_EQ(m_prompts->boxes[0].type & platform::kMessageBoxButtonsMask, platform::MB_OK);
        EXPECT_EQ(Text(IDC_INFECTED_TEXT), "0");
        EXPECT_EQ(Text(IDC_CURRENT_FILE_TEXT), "");
        EXPECT_NE(dialog.ReportLogPath(), oldLog);
        EXPECT_FALSE(dialog.Job().IsRunning());
        EXPECT_TRUE(Item<QPushButton>(IDC_START_BUTTON)->isEnabled());
    }
}

TEST_F(DialogTest, CurrentFileTextIsShortenedBeyondSixtyBytes) {
    struct Case {
        const char* name;
        std::string path;
        std::uint8_t recovering;
        std::string shown;
    };
    const std::string p47(47, 'a');
    const std::string p60 = std::string(30, 'b') + std::string(30, 'c');
    const std::string p61 = std::string(30, 'b') + "X" + std::string(30, 'c');
    const std::string r48 = std::string(17, 'd') + "Y" + std::string(30, 'e');
    const std::string prefix = "正在恢复 "; // 13 bytes, counted with the path
    const Case cases[] = {
        {"60 bytes are shown whole", p60, 0, p60},
        {"61 bytes lose their middle byte", p61, 0,
         std::string(30, 'b') + "..." + std::string(30, 'c')},
        {"prefix and path of 60 bytes whole", p47, 1, prefix + p47},
        {"prefix and path of 61 bytes shortened", r48, 1,
         prefix + std::string(17, 'd') + "..." + std::string(30, 'e')},
        {"a short path", "/a/b.txt", 0, "/a/b.txt"},
    };
    CDocsalveDlg& dialog = Make({Volume("/")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto event = std::make_unique<ScanFileEvent>();
        event->scannedCount = 18446744073709551615ull;
        CopyEventText(event->path, c.path);
        event->recovering = c.recovering;
        platform::SendMessageA(dialog.WindowHandle(), WM_SCAN_FILE,
                               reinterpret_cast<platform::WPARAM>(event.release()), 0);
        EXPECT_EQ(Text(IDC_CURRENT_FILE_TEXT), c.shown);
        EXPECT_EQ(Text(IDC_SCANNED_TEXT), "18446744073709551615");
    }
    // A null record changes nothing.
    platform::SendMessageA(dialog.WindowHandle(), WM_SCAN_FILE, 0, 0);
    EXPECT_EQ(Text(IDC_CURRENT_FILE_TEXT), "/a/b.txt");
}

TEST(ShortenForDisplay, CountsBytesEvenInsideACharacter) {
    // 21 three-byte characters: 63 bytes; the halves cut the 11th character in two.
    std::string text;
    for (int i = 0; i < 21; ++i) {
        text += "汉";
    }
    const std::string shortened = ShortenForDisplay(text);
    EXPECT_EQ(shortened.size(), 63u);
    EXPECT_EQ(shortened.substr(0, 30), text.substr(0, 30));
    EXPECT_EQ(shortened.substr(30, 3), "...");
    EXPECT_EQ(shortened.substr(33), text.substr(33));
}

TEST_F(DialogTest, DiskProgressShowsTenthsOfAPercent) {
    struct Case {
        platform::WPARAM value;
        const char* shown;
    };
    const Case cases[] = {
        {0, "正在恢复被感染文件，当前检测磁盘进度 0.0%"},
        {537, "正在恢复被感染文件，当前检测磁盘进度 53.7%"},
        {1000, "正在恢复被感染文件，当前检测磁盘进度 100.0%"},
        {425, "正在恢复被感染文件，当前检测磁盘进度 42.5%"},
    };
    CDocsalveDlg& dialog = Make({Volume("/")});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        platform::SendMessageA(dialog.WindowHandle(), WM_DISK_PROGRESS, c.value, 0);
        EXPECT_EQ(Text(IDC_CURRENT_FILE_TEXT), c.shown);
    }
}

TEST_F(DialogTest, ResultsUpdateTheirCountersAndWriteTheReportLog) {
    struct Case {
        const char* name;
        RecoveryStatus status;
        std::int32_t flag;
        std::vector<std::string> entries;
        std::vector<std::string> counters; // 1008, 1009, 1010
    };
    const Case cases[] = {
        {"decrypted",
         Decrypted,
         1,
         {"被感染文件 /v/a.docx.WNCRY", "文件恢复到 /out/a.docx", "解密恢复成功！"},
         {"5", "3", "0"}},
        {"restored from the disk",
         RestoredFromDisk,
         1,
         {"被感染文件 /v/a.docx.WNCRY", "文件恢复到 /out/a.docx", "从磁盘恢复成功！"},
         {"5", "3", "0"}},
        {"another status with the flag set",
         static_cast<RecoveryStatus>(7),
         1,
         {"被感染文件 /v/a.docx.WNCRY", "文件恢复到 /out/a.docx", "恢复成功！"},
         {"5", "3", "0"}},
        {"not recovered",
         NotRecovered,
         0,
         {"被感染文件 /v/a.docx.WNCRY", "恢复失败！"},
         {"5", "0", "2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CDocsalveDlg& dialog = Make({Volume("/")});
        auto result = std::make_unique<RecoveryResult>();
        result->infectedCount = 5;
        result->recoveredCount = c.flag != 0 ? 3 : 0;
        result->failedCount = c.flag != 0 ? 0 : 2;
        CopyEventText(result->infectedPath, "/v/a.docx.WNCRY");
        CopyEventText(result->recoveredPath, c.flag != 0 ? "/out/a.docx" : "");
        result->status = c.status;
        std::int32_t flag = c.flag;
        platform::SendMessageA(dialog.WindowHandle(), WM_RECOVERY_RESULT,
                               reinterpret_cast<platform::WPARAM>(result.release()),
                               reinterpret_cast<platform::LPARAM>(&flag));
        EXPECT_EQ(flag, c.flag) << "the flag is the sender's and is only read";
        EXPECT_EQ(LogEntries(dialog.ReportLogPath()), c.entries);
        EXPECT_EQ((std::vector<std::string>{Text(IDC_INFECTED_TEXT), Text(IDC_RECOVERED_TEXT),
                                            Text(IDC_FAILED_TEXT)}),
                  c.counters);
    }
}

TEST_F(DialogTest, NullRecordsAreIgnored) {
    CDocsalveDlg& dialog = Make({Volume("/")});
    std::int32_t flag = 1;
    platform::SendMessageA(dialog.WindowHandle(), WM_RECOVERY_RESULT, 0,
                           reinterpret_cast<platform::LPARAM>(&flag));
    platform::SendMessageA(dialog.WindowHandle(), WM_INFECTED_COUNT, 0, 0);
    EXPECT_FALSE(fs::exists(dialog.ReportLogPath()));
    EXPECT_EQ(Text(IDC_INFECTED_TEXT), "0");
    auto counter = std::make_unique<CounterEvent>();
    counter->infectedCount = 12;
    platform::SendMessageA(dialog.WindowHandle(), WM_INFECTED_COUNT,
                           reinterpret_cast<platform::WPARAM>(counter.release()), 0);
    EXPECT_EQ(Text(IDC_INFECTED_TEXT), "12");
}

TEST_F(DialogTest, ScanBeginAndEndDisableAndEnableTheButtons) {
    CDocsalveDlg& dialog = Make({Volume("/")});
    platform::SendMessageA(dialog.WindowHandle(), WM_SCAN_BEGIN, 0, 0);
    EXPECT_FALSE(Item<QPushButton>(IDC_START_BUTTON)->isEnabled());
    EXPECT_FALSE(Item<QPushButton>(IDC_REPORT_LOG_BUTTON)->isEnabled());
    EXPECT_TRUE(Item<QPushButton>(IDC_BROWSE_BUTTON)->isEnabled());
    EXPECT_TRUE(Item<QComboBox>(IDC_DRIVE_COMBO)->isEnabled());
    EXPECT_TRUE(BoxTexts().empty());

    platform::SendMessageA(dialog.WindowHandle(), WM_SCAN_END, 0, 0);
    EXPECT_TRUE(Item<QPushButton>(IDC_START_BUTTON)->isEnabled());
    EXPECT_TRUE(Item<QPushButton>(IDC_REPORT_LOG_BUTTON)->isEnabled());
    ASSERT_EQ(m_prompts->boxes.size(), 1u);
    EXPECT_EQ(m_prompts->boxes[0].text, "扫描恢复完成");
    EXPECT_EQ(m_prompts->boxes[0].caption, kCaption);
    EXPECT_EQ(m_prompts->boxes[0].type & platform::kMessageBoxButtonsMask, platform::MB_OK);
}

TEST_F(DialogTest, FolderPickerAsksBeforeTakingAFolderOnTheScannedVolume) {
    const fs::path folder = m_root / "out";
    fs::create_directories(folder);
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    const platform::MountEntry sameVolume =
        Volume("/scan", "ext4", "/dev/x", major(st.st_dev), minor(st.st_dev));
    const platform::MountEntry otherVolume =
        Volume("/other", "ext4", "/dev/y", major(st.st_dev) + 1, minor(st.st_dev) + 1);
    const std::string before = "/previous";

    struct Case {
        const char* name;
        platform::MountEntry volume;
        bool listed;
        std::string picked;
        std::vector<int> answers;
        std::vector<std::string> boxes;
        std::string text;
    };
    const std::string sameText = "建议您不要把恢复的文件保存在扫描目标盘中，您确认要继续么？";
    const Case cases[] = {
        {"cancelled picker", sameVolume, true, "", {}, {"无效的目录，请重新选择"}, before},
        {"same volume, OK",
         sameVolume,
         true,
         folder.string(),
         {platform::IDOK},
         {sameText},
         folder.string()},
        {"same volume, Cancel",
         sameVolume,
         true,
         folder.string(),
         {platform::IDCANCEL},
         {sameText},
         before},
        {"another volume", otherVolume, true, folder.string(), {}, {}, folder.string()},
        {"nothing selected", sameVolume, false, folder.string(), {}, {}, folder.string()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Make(c.listed ? std::vector{c.volume} : std::vector<platform::MountEntry>{});
        m_prompts->boxes.clear();
        m_prompts->pickerTitles.clear();
        m_prompts->answers.assign(c.answers.begin(), c.answers.end());
        m_prompts->pickedFolder = c.picked;
        SetFolderText(before);
        Click(IDC_BROWSE_BUTTON);
        EXPECT_EQ(m_prompts->pickerTitles,
                  (std::vector<std::string>{"请选择恢复文件保存的目录："}));
        EXPECT_EQ(BoxTexts(), c.boxes);
        for (const auto& box : m_prompts->boxes) {
            EXPECT_EQ(box.caption, kCaption);
        }
        if (!c.boxes.empty() && c.boxes[0] == sameText) {
            EXPECT_EQ(m_prompts->boxes[0].type & platform::kMessageBoxButtonsMask,
                      platform::MB_OKCANCEL);
        }
        EXPECT_EQ(Text(IDC_FOLDER_EDIT), c.text);
    }
}

TEST_F(DialogTest, EnterAndEscapeDoNothing) {
    CDocsalveDlg& dialog = Make({Volume("/"), Volume("/home")});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* combo = Item<QComboBox>(IDC_DRIVE_COMBO);
    QWidget* targets[] = {
        &dialog,           Item<QWidget>(IDC_START_BUTTON), combo,
        combo->lineEdit(), Item<QWidget>(IDC_FOLDER_EDIT),  Item<QWidget>(IDC_BROWSE_BUTTON)};
    for (QWidget* target : targets) {
        SCOPED_TRACE(target->metaObject()->className());
        target->setFocus();
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
        }
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), 0);
    }
    // Neither a start (its checks would ask for a folder) nor a picker ran.
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(m_prompts->pickerTitles.empty());
    EXPECT_EQ(combo->count(), 2) << "Enter never adds the typed text as an item";
    // Other keys still reach the controls: Space presses the focused button.
    Item<QWidget>(IDC_START_BUTTON)->setFocus();
    QTest::keyClick(Item<QWidget>(IDC_START_BUTTON), Qt::Key_Space);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"请填写 修复文件保存路径"}));
}

TEST_F(DialogTest, AboutEntryEndsTheContextMenuAndOpensTheAboutBox) {
    CDocsalveDlg& dialog = Make({Volume("/")});
    EXPECT_EQ(dialog.contextMenuPolicy(), Qt::ActionsContextMenu);
    const auto actions = dialog.actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    QAction* about = actions.back();
    EXPECT_EQ(about->text().toStdString(), "关于 Docsalve(&A)...");
    EXPECT_EQ(about->data().toUInt(), 16u);
    about->trigger();
    EXPECT_EQ(m_prompts->aboutBoxes, 1);

    struct Case {
        unsigned id;
        bool opens;
    };
    const Case cases[] = {{16, true}, {17, true}, {31, true}, {32, false}, {15, false}, {0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const int before = m_prompts->aboutBoxes;
        dialog.OnSysCommand(c.id);
        EXPECT_EQ(m_prompts->aboutBoxes - before, c.opens ? 1 : 0);
    }
}

TEST_F(DialogTest, EngineBoxesFromTheWalkThreadAreShownOnTheDialogThread) {
    // The second dialog is made before the first goes: the boxes still reach the second.
    Make({Volume("/")});
    Make({Volume("/")});
    m_prompts->answers = {platform::IDCANCEL};
    std::atomic<int> answer{-1};
    std::thread walk([&] {
        answer = platform::MessageBoxA("File is larger than 100 MB. Restore it?", "Undelete",
                                       platform::MB_OKCANCEL | platform::MB_ICONQUESTION);
    });
    while (answer.load() == -1) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    walk.join();
    EXPECT_EQ(answer.load(), platform::IDCANCEL);
    const auto boxes = m_prompts->Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].thread, std::this_thread::get_id());
    EXPECT_EQ(boxes[0].text, "File is larger than 100 MB. Restore it?");
    EXPECT_EQ(boxes[0].caption, "Undelete");
    EXPECT_EQ(boxes[0].type, platform::MB_OKCANCEL | platform::MB_ICONQUESTION);
}

TEST(EngineMessageBox, AWindowThatIsGoneAnswersNo) {
    struct Case {
        std::uint32_t type;
        int answer;
    };
    const Case cases[] = {{platform::MB_OK | platform::MB_ICONERROR, platform::IDOK},
                          {platform::MB_OKCANCEL, platform::IDCANCEL},
                          {platform::MB_YESNO, platform::IDNO}};
    int handled = 0;
    auto window = std::make_unique<platform::MessageWindow>(
        [&](std::uint32_t, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
            ++handled;
            return platform::IDYES;
        });
    EngineMessageBoxProvider provider(window->Handle());
    window.reset();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(provider.Show("text", "caption", c.type), c.answer);
    }
    EXPECT_EQ(handled, 0);
}

TEST_F(DialogTest, StartUpSaysWhenTheVolumeCannotBeRead) {
    struct Case {
        platform::DeviceAccess access;
        bool box;
    };
    const Case cases[] = {{platform::DeviceAccess::Readable, false},
                          {platform::DeviceAccess::Denied, true},
                          {platform::DeviceAccess::NotADevice, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.access));
        m_probed.clear();
        CDocsalveDlg& dialog =
            Make({Volume("/proc", "proc", "proc"), Volume("/data", "ext4", "/dev/sdz9")}, c.access);
        m_prompts->boxes.clear();
        dialog.CheckDeviceAccess();
        EXPECT_EQ(m_probed, (std::vector<std::string>{"/dev/sdz9"}));
        ASSERT_EQ(m_prompts->boxes.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(m_prompts->boxes[0].caption, kCaption);
            EXPECT_NE(m_prompts->boxes[0].text.find("/dev/sdz9"), std::string::npos);
            EXPECT_NE(m_prompts->boxes[0].text.find("权限"), std::string::npos);
        }
    }
}

TEST(DeviceAccess, ProbesByOpeningForReading) {
    const fs::path dir =
        fs::temp_directory_path() / ("docsalve-probe-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path readable = dir / "image";
    { std::ofstream(readable) << "x"; }
    EXPECT_EQ(platform::ProbeDeviceAccess(readable.string()), platform::DeviceAccess::Readable);
    EXPECT_EQ(platform::ProbeDeviceAccess((dir / "missing").string()),
              platform::DeviceAccess::NotADevice);
    EXPECT_EQ(platform::ProbeDeviceAccess(""), platform::DeviceAccess::NotADevice);
    if (::geteuid() != 0) { // root reads whatever the mode says
        const fs::path locked = dir / "locked";
        { std::ofstream(locked) << "x"; }
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(platform::ProbeDeviceAccess(locked.string()), platform::DeviceAccess::Denied);
    }
    fs::remove_all(dir);
}

TEST_F(DialogTest, ReportLogButtonOpensTheCurrentLog) {
    const fs::path marker = m_root / "opened.txt";
    const fs::path opener = m_root / "opener.sh";
    WriteFile(opener, "#!/bin/sh\nprintf '%s' \"$1\" > \"" + marker.string() + ".tmp\"\nmv \"" +
                          marker.string() + ".tmp\" \"" + marker.string() + "\"\n");
    fs::permissions(opener, fs::perms::owner_all);
    platform::SetShellOpenCommandOverride(opener.string());
    CDocsalveDlg& dialog = Make({Volume("/")});
    Click(IDC_REPORT_LOG_BUTTON);
    platform::SetShellOpenCommandOverride("");
    // The opener runs detached; wait for its mark without timing anything.
    for (int i = 0; i < 1000 && !fs::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadFile(marker), dialog.ReportLogPath());
}
