// The program's one window: the volume and the output folder to pick, the start button, the
// run's counters, the current file and the disk-scan progress, and the report log's button.
// The run's threads reach it only through window messages handled on its own thread.
#pragma once

#include <QDialog>
#include <QIcon>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/dialog_prompts.h"
#include "app/engine_message_box.h"
#include "platform/device_access.h"
#include "platform/mount_table.h"
#include "platform/window.h"
#include "run/recovery_job.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Control ids of the main dialog.
constexpr int IDC_FOLDER_EDIT = 1001;
constexpr int IDC_START_BUTTON = 1002;
constexpr int IDC_REPORT_LOG_BUTTON = 1004;
constexpr int IDC_DRIVE_COMBO = 1005;
constexpr int IDC_SCANNED_TEXT = 1006;
constexpr int IDC_CURRENT_FILE_TEXT = 1007;
constexpr int IDC_INFECTED_TEXT = 1008;
constexpr int IDC_RECOVERED_TEXT = 1009;
constexpr int IDC_FAILED_TEXT = 1010;
constexpr int IDC_BROWSE_BUTTON = 1011;

// The About entry's command.
constexpr unsigned IDM_ABOUTBOX = 0x10;

// Caption of every box the dialog shows.
inline constexpr const char* kBoxCaption = "勒索文档Halvorn恢复工具";

// A current-file text longer than this many bytes is shown as its first and last halves.
constexpr std::size_t kDisplayTextLimit = 60;

// `text` whole when it is 60 bytes or fewer, else its first 30 bytes, "..." and its last 30
// bytes. The cut counts bytes, as the run's texts do.
std::string ShortenForDisplay(std::string_view text);

// "正在恢复被感染文件，当前检测磁盘进度 %.1f%%" for a progress in tenths of a percent.
std::string DiskProgressText(std::uint32_t perMille);

// What the dialog takes from its surroundings; tests replace any of it.
struct DialogServices {
    std::function<std::vector<platform::MountEntry>()> readMountTable = platform::ReadMountTable;
    std::function<platform::DeviceAccess(const std::string&)> probeDevice =
        platform::ProbeDeviceAccess;
    std::shared_ptr<DialogPrompts> prompts = std::make_shared<DialogPrompts>();
};

class CDocsalveDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDocsalveDlg(DialogServices services = {}, QWidget* parent = nullptr);
    // Ends a run still at work: the walk stops, its sends fail, and both threads are joined
    // before any member they use goes away.
    ~CDocsalveDlg() override;

    // The control with dialog id `id`, or null.
    [[nodiscard]] QWidget* GetDlgItem(int id) const;
    [[nodiscard]] platform::WindowHandle WindowHandle() const { return m_window.Handle(); }
    [[nodiscard]] RecoveryJob& Job() { return m_job; }
    [[nodiscard]] const std::vector<std::string>& DriveItems() const { return m_driveItems; }
    [[nodiscard]] const std::string& ReportLogPath() const { return m_reportLogPath; }
    [[nodiscard]] const std::string& OutputFolder() const { return m_outputFolder; }

    // Says in a box when this process may not read the selected volume's device, so that a
    // user without the rights learns it before every restore from the disk fails.
    void CheckDeviceAccess();

    // The window menu's commands: the About entry (any id whose value without its low four
    // bits is IDM_ABOUTBOX) opens the About box; others are ignored.
    void OnSysCommand(unsigned id);

protected:
    // Enter and Escape do nothing in this dialog: it closes only through its close box.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void DoDataExchange();
    void OnInitDialog();
    void FillDriveList();
    void NewReportLogPath();
    void ResetRunDisplay();

    void OnStartRecovery();
    void OnBrowseFolder();
    void OnOpenReportLog();

    platform::LRESULT WindowProc(std::uint32_t message, platform::WPARAM wParam,
                                 platform::LPARAM lParam);
    platform::LRESULT OnScanBegin();
    platform::LRESULT OnScanEnd();
    platform::LRESULT OnScanFile(platform::WPARAM wParam);
    platform::LRESULT OnRecoveryResult(platform::WPARAM wParam, platform::LPARAM lParam);
    platform::LRESULT OnDiskProgress(platform::WPARAM wParam);
    platform::LRESULT OnInfectedCount(platform::WPARAM wParam);
    platform::LRESULT OnEngineMessageBox(platform::WPARAM wParam);

    int ShowBox(const char* text, std::uint32_t type);
    [[nodiscard]] int SelectedDriveIndex() const;
    void SetCounter(QLabel* label, std::uint64_t value);

    DialogServices m_services;
    QIcon m_hIcon;
    // Controls belong to the dialog as their parent; these only observe them.
    QComboBox* m_driveCombo = nullptr;
    std::vector<std::string> m_driveItems;
    std::vector<platform::MountEntry> m_driveVolumes; // entry i is the volume of item i
    // The window the run's threads send to. It is declared before the job, so the job (whose
    // destructor fails the sends still waiting and joins the threads) goes first, then the
    // engine's box provider, then the window.
    platform::MessageWindow m_window;
    EngineMessageBoxScope m_engineBoxes;
    RecoveryJob m_job;
    QLabel* m_scannedText = nullptr;
    QLabel* m_currentFileText = nullptr;
    QLabel* m_infectedText = nullptr;
    QLabel* m_recoveredText = nullptr;
    QLabel* m_failedText = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    std::string m_outputFolder;
    QPushButton* m_startButton = nullptr;
    QPushButton* m_reportLogButton = nullptr;
    std::string m_reportLogPath;
};
