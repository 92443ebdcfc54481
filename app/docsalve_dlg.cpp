// The main dialog: its controls, the start and folder checks, and the run's messages.
#include "app/docsalve_dlg.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include <cstdio>
#include <exception>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "app/app_images.h"
#include "app/dialog_units.h"
#include "app/drive_list.h"
#include "app/report_log.h"
#include "run/messages.h"

namespace {

constexpr const char* kWindowTitle = "Mendora";
constexpr const char* kNoDriveText = "请选择 扫描驱动器";
constexpr const char* kNoFolderText = "请填写 修复文件保存路径";
constexpr const char* kInvalidFolderText = "无效的目录，请重新选择";
constexpr const char* kSameDriveText = "建议您不要把恢复的文件保存在扫描目标盘中，您确认要继续么？";
constexpr const char* kScanEndText = "扫描恢复完成";
constexpr const char* kPickerTitle = "请选择恢复文件保存的目录：";
constexpr const char* kRecoveringPrefix = "正在恢复 ";
constexpr const char* kProgressFormat = "正在恢复被感染文件，当前检测磁盘进度 %.1f%%";
constexpr const char* kAboutEntryText = "关于 Docsalve(&A)...";
constexpr const char* kNoDeviceRightsFormat =
    "当前用户没有读取驱动器 %s 的设备 %s 的权限，无法从磁盘恢复被删除的文件（解密不受影响）。"
    "请以管理员身份运行本工具（例如通过 pkexec）。";

// The halves kept of a long current-file text.
constexpr std::size_t kDisplayHalf = 30;

// The drop-down list of the drive box, in dialog units from the top of the box.
constexpr int kComboListUnits = 62;
// The closed drive box is as tall as the folder edit beside it.
constexpr int kComboFieldUnits = 14;

QString FromBytes(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A path as the file system spells it, from the text of a control, and back.
std::string PathFromText(const QString& text) {
    return QFile::encodeName(text).toStdString();
}
QString TextFromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

bool IsEnterOrEscape(const QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

std::string ShortenForDisplay(std::string_view text) {
    if (text.size() <= kDisplayTextLimit) {
        return std::string(text);
    }
    std::string shortened(text.substr(0, kDisplayHalf));
    shortened += "...";
    shortened += text.substr(text.size() - kDisplayHalf);
    return shortened;
}

std::string DiskProgressText(std::uint32_t perMille) {
    char text[128];
    std::snprintf(text, sizeof text, kProgressFormat, static_cast<double>(perMille / 10.0f));
    return text;
}

CDocsalveDlg::CDocsalveDlg(DialogServices services, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_services(std::move(services)), m_hIcon(AppIcon()),
      m_window([this](std::uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam) {
          return WindowProc(message, wParam, lParam);
      }),
      m_engineBoxes(m_window.Handle()) {
    // A send from a run's thread schedules the dispatch on this dialog's thread; the sender
    // waits until its handler has run there.
    m_window.SetWakeHook([this] {
        QMetaObject::invokeMethod(
            this, [this] { m_window.DispatchPending(); }, Qt::QueuedConnection);
    });
    DoDataExchange();
    OnInitDialog();
}

CDocsalveDlg::~CDocsalveDlg() = default;

void CDocsalveDlg::DoDataExchange() {
    setFont(DialogFont());
    const DialogUnits units(font());
    setWindowTitle(QString::fromUtf8(kWindowTitle));
    setFixedSize(units.X(305), units.Y(178));

    // Created in the order of the dialog template, which is also the tab order.
    auto place = [&](QWidget* control, int id, QRect rect) {
        control->setGeometry(rect);
        control->setProperty(kControlIdProperty, id);
        control->installEventFilter(this);
        return control;
    };
    auto label = [&](const char* text, QRect rect, int id = -1) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(false);
        place(l, id, rect);
        return l;
    };
    auto button = [&](const char* text, QRect rect, int id) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        // Plain push buttons: none is the default, and Enter presses none of them.
        b->setAutoDefault(false);
        b->setDefault(false);
        place(b, id, rect);
        return b;
    };

    place(new QGroupBox(QString::fromUtf8("设置"), this), -1, units.Rect(7, 7, 291, 69));
    label("扫描驱动器：", units.Rect(15, 22, 44, 8));
    m_driveCombo = new QComboBox(this);
    m_driveCombo->setEditable(true);
    // What is typed into the box is never read, and never becomes an item.
    m_driveCombo->setInsertPolicy(QComboBox::NoInsert);
    place(m_driveCombo, IDC_DRIVE_COMBO, units.Rect(56, 21, 55, kComboFieldUnits));
    m_driveCombo->lineEdit()->installEventFilter(this);
    const int itemPixels = std::max(1, QFontMetrics(font()).height());
    m_driveCombo->setMaxVisibleItems(
        std::max(1, (units.Y(kComboListUnits) - units.Y(kComboFieldUnits)) / itemPixels));
    m_startButton = button("一键恢复", units.Rect(237, 21, 50, 42), IDC_START_BUTTON);
    label("文件恢复到：", units.Rect(15, 47, 44, 11));
    m_folderEdit = new QLineEdit(this);
    m_folderEdit->setReadOnly(true);
    place(m_folderEdit, IDC_FOLDER_EDIT, units.Rect(56, 46, 95, 14));
    QPushButton* browse = button("...", units.Rect(152, 46, 13, 14), IDC_BROWSE_BUTTON);

    place(new QGroupBox(QString::fromUtf8("扫描详情"), this), -1, units.Rect(7, 85, 291, 73));
    label("当前扫描文件：", units.Rect(16, 103, 49, 8));
    m_currentFileText = label("", units.Rect(64, 103, 214, 8), IDC_CURRENT_FILE_TEXT);
    label("扫描文件数：", units.Rect(16, 121, 42, 8));
    m_scannedText = label("0", units.Rect(56, 121, 50, 8), IDC_SCANNED_TEXT);
    label("被感染数：", units.Rect(116, 121, 35, 8));
    m_infectedText = label("0", units.Rect(150, 121, 80, 8), IDC_INFECTED_TEXT);
    label("修复成功：", units.Rect(16, 140, 35, 8));
    m_recoveredText = label("0", units.Rect(52, 140, 56, 8), IDC_RECOVERED_TEXT);
    label("修复失败：", units.Rect(116, 140, 35, 8));
    m_failedText = label("0", units.Rect(150, 140, 67, 8), IDC_FAILED_TEXT);
    m_reportLogButton = button("详细日志", units.Rect(237, 134, 50, 14), IDC_REPORT_LOG_BUTTON);

    // A bitmap control takes its bitmap's size.
    QLabel* logo = label("", QRect(units.X(230), units.Y(163), kLogoWidth, kLogoHeight));
    logo->setPixmap(LogoBitmap());
    label("本工具尽可能的帮助您恢复被勒索病毒加密勒索的文档文件", units.Rect(26, 165, 179, 8))
        ->hide();

    connect(m_startButton, &QPushButton::clicked, this, [this] { OnStartRecovery(); });
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowseFolder(); });
    connect(m_reportLogButton, &QPushButton::clicked, this, [this] { OnOpenReportLog(); });
}

void CDocsalveDlg::OnInitDialog() {
    // A Linux window manager's window menu cannot take entries of the program's own, so the
    // About entry sits in the dialog's context menu, after a separator, with F1 as well.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* about = new QAction(QString::fromUtf8(kAboutEntryText), this);
    about->setData(IDM_ABOUTBOX);
    connect(about, &QAction::triggered, this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    addAction(separator);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { OnSysCommand(IDM_ABOUTBOX); });

    setWindowIcon(m_hIcon);
    NewReportLogPath();
    FillDriveList();
    m_driveCombo->setFocus();
}

void CDocsalveDlg::FillDriveList() {
    m_driveItems.clear();
    m_driveVolumes.clear();
    m_driveCombo->clear();
    for (const platform::MountEntry& volume : ScanVolumes(m_services.readMountTable())) {
        const std::string text = DriveItemText(volume);
        m_driveCombo->insertItem(static_cast<int>(m_driveItems.size()), FromBytes(text));
        m_driveItems.push_back(text);
        m_driveVolumes.push_back(volume);
    }
    m_driveCombo->setCurrentIndex(m_driveItems.empty() ? -1 : 0);
    m_driveCombo->lineEdit()->setCursorPosition(0);
}

void CDocsalveDlg::NewReportLogPath() {
    m_reportLogPath = ::NewReportLogPath();
}

void CDocsalveDlg::ResetRunDisplay() {
    NewReportLogPath();
    m_currentFileText->clear();
    for (QLabel* counter : {m_scannedText, m_infectedText, m_recoveredText, m_failedText}) {
        counter->setText(QStringLiteral("0"));
    }
}

int CDocsalveDlg::SelectedDriveIndex() const {
    const int index = m_driveCombo->currentIndex();
    if (index < 0 || m_driveItems.empty() ||
        static_cast<std::size_t>(index) >= m_driveItems.size()) {
        return -1;
    }
    return index;
}

int CDocsalveDlg::ShowBox(const char* text, std::uint32_t type) {
    return m_services.prompts->MessageBox(this, text, kBoxCaption, type);
}

void CDocsalveDlg::OnStartRecovery() {
    ResetRunDisplay();
    const int index = SelectedDriveIndex();
    if (index < 0) {
        ShowBox(kNoDriveText, platform::MB_OK);
        return;
    }
    m_outputFolder = PathFromText(m_folderEdit->text());
    if (m_outputFolder.empty()) {
        ShowBox(kNoFolderText, platform::MB_OK);
        return;
    }
    const auto i = static_cast<std::size_t>(index);
    // The button goes grey at once rather than when the walk's first message arrives, so a
    // second press cannot come in between.
    if (m_job.Start(m_driveItems[i], m_outputFolder, m_window.Handle(), m_driveVolumes[i].source)) {
        m_startButton->setEnabled(false);
    }
}

void CDocsalveDlg::OnBrowseFolder() {
    const std::string picked = m_services.prompts->PickFolder(this, kPickerTitle);
    if (picked.empty()) {
        ShowBox(kInvalidFolderText, platform::MB_OK);
        return;
    }
    // The same drive means the same device here: the folder's file system is the selected
    // volume's.
    const int index = SelectedDriveIndex();
    struct stat folder {};
    if (index >= 0 && ::stat(picked.c_str(), &folder) == 0) {
        const platform::MountEntry& volume = m_driveVolumes[static_cast<std::size_t>(index)];
        if (folder.st_dev == makedev(volume.major, volume.minor) &&
            ShowBox(kSameDriveText, platform::MB_OKCANCEL) != platform::IDOK) {
            return;
        }
    }
    m_folderEdit->setText(TextFromPath(picked));
    // Like a Windows edit given a new text, show the path from its beginning.
    m_folderEdit->setCursorPosition(0);
}

void CDocsalveDlg::OnOpenReportLog() {
    OpenReportLog(m_reportLogPath);
}

void CDocsalveDlg::CheckDeviceAccess() {
    const int index = SelectedDriveIndex();
    if (index < 0) {
        return;
    }
    const platform::MountEntry& volume = m_driveVolumes[static_cast<std::size_t>(index)];
    if (m_services.probeDevice(volume.source) != platform::DeviceAccess::Denied) {
        return;
    }
    const int n = std::snprintf(nullptr, 0, kNoDeviceRightsFormat, volume.mountPoint.c_str(),
                                volume.source.c_str());
    std::string text(static_cast<std::size_t>(std::max(n, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), kNoDeviceRightsFormat, volume.mountPoint.c_str(),
                  volume.source.c_str());
    text.pop_back();
    ShowBox(text.c_str(), platform::MB_OK | platform::MB_ICONWARNING);
}

void CDocsalveDlg::OnSysCommand(unsigned id) {
    if ((id & 0xFFF0u) == IDM_ABOUTBOX) {
        m_services.prompts->RunAboutBox(this);
    }
}

bool CDocsalveDlg::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnterOrEscape(event)) {
        event->accept();
        return event->type() == QEvent::KeyPress;
    }
    return QDialog::eventFilter(watched, event);
}

void CDocsalveDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnterOrEscape(event)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

QWidget* CDocsalveDlg::GetDlgItem(int id) const {
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child->property(kControlIdProperty).toInt() == id) {
            return child;
        }
    }
    return nullptr;
}

void CDocsalveDlg::SetCounter(QLabel* label, std::uint64_t value) {
    label->setText(QString::number(static_cast<qulonglong>(value)));
}

platform::LRESULT CDocsalveDlg::WindowProc(std::uint32_t message, platform::WPARAM wParam,
                                           platform::LPARAM lParam) {
    try {
        switch (message) {
        case WM_SCAN_BEGIN:
            return OnScanBegin();
        case WM_SCAN_END:
            return OnScanEnd();
        case WM_SCAN_FILE:
            return OnScanFile(wParam);
        case WM_RECOVERY_RESULT:
            return OnRecoveryResult(wParam, lParam);
        case WM_DISK_PROGRESS:
            return OnDiskProgress(wParam);
        case WM_INFECTED_COUNT:
            return OnInfectedCount(wParam);
        case WM_ENGINE_MESSAGE_BOX:
            return OnEngineMessageBox(wParam);
        default:
            return 0;
        }
    } catch (const std::exception&) {
        // A handler that cannot finish (out of memory) leaves the display as it was; the run
        // goes on.
        return 0;
    }
}

platform::LRESULT CDocsalveDlg::OnScanBegin() {
    m_startButton->setEnabled(false);
    m_reportLogButton->setEnabled(false);
    return 0;
}

platform::LRESULT CDocsalveDlg::OnScanEnd() {
    m_startButton->setEnabled(true);
    m_reportLogButton->setEnabled(true);
    ShowBox(kScanEndText, platform::MB_OK);
    return 0;
}

platform::LRESULT CDocsalveDlg::OnScanFile(platform::WPARAM wParam) {
    const std::unique_ptr<ScanFileEvent> event = TakeRecord<ScanFileEvent>(wParam);
    if (!event) {
        return 0;
    }
    SetCounter(m_scannedText, event->scannedCount);
    std::string text = event->recovering != 0 ? kRecoveringPrefix : "";
    text += event->path;
    m_currentFileText->setText(FromBytes(ShortenForDisplay(text)));
    return 0;
}

platform::LRESULT CDocsalveDlg::OnRecoveryResult(platform::WPARAM wParam, platform::LPARAM lParam) {
    const std::unique_ptr<RecoveryResult> result = TakeRecord<RecoveryResult>(wParam);
    if (!result) {
        return 0;
    }
    SetCounter(m_infectedText, result->infectedCount);
    WriteReportContainerEntry(m_reportLogPath, result->infectedPath);
    const auto* flag = reinterpret_cast<const std::int32_t*>(lParam);
    const int success = flag != nullptr ? *flag : 0;
    if (success != 0) {
        SetCounter(m_recoveredText, result->recoveredCount);
    } else {
        SetCounter(m_failedText, result->failedCount);
    }
    WriteReportOutcomeEntries(m_reportLogPath, result->recoveredPath,
                              static_cast<int>(result->status), success);
    return 0;
}

platform::LRESULT CDocsalveDlg::OnDiskProgress(platform::WPARAM wParam) {
    m_currentFileText->setText(FromBytes(DiskProgressText(static_cast<std::uint32_t>(wParam))));
    return 0;
}

platform::LRESULT CDocsalveDlg::OnInfectedCount(platform::WPARAM wParam) {
    const std::unique_ptr<CounterEvent> event = TakeRecord<CounterEvent>(wParam);
    if (event) {
        SetCounter(m_infectedText, event->infectedCount);
    }
    return 0;
}

platform::LRESULT CDocsalveDlg::OnEngineMessageBox(platform::WPARAM wParam) {
    const auto* request = reinterpret_cast<const EngineMessageBoxRequest*>(wParam);
    if (request == nullptr) {
        return platform::IDCANCEL;
    }
    return m_services.prompts->MessageBox(this, request->text, request->caption, request->type);
}
