// docsalve-screenshot: runs the main dialog over a folder tree, answers its boxes itself, and
// saves pictures of the dialog at the end of the run and of the About box (tools/screenshot).
//
// usage: docsalve-screenshot TREE OUTPUT-FOLDER PICTURE-FOLDER [DEVICE]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "app/about_dlg.h"
#include "app/docsalve_dlg.h"
#include "platform/message_box.h"

namespace {

// Answers every box with its first button and takes the pictures when the run has ended.
class ScreenshotPrompts final : public DialogPrompts {
public:
    explicit ScreenshotPrompts(QString pictures) : m_pictures(std::move(pictures)) {}

    int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                   std::uint32_t type) override {
        std::printf("box \"%s\" (%s)\n", text.c_str(), caption.c_str());
        if (text == "扫描恢复完成" && owner != nullptr) {
            Save(owner, "docsalve-dialog.png");
            CAboutDlg about(owner);
            about.show();
            QApplication::processEvents();
            Save(&about, "docsalve-about.png");
            m_done = true;
            QTimer::singleShot(0, owner, [owner] { owner->close(); });
        }
        return (type & platform::kMessageBoxButtonsMask) == platform::MB_YESNO ? platform::IDYES
                                                                               : platform::IDOK;
    }
    std::string PickFolder(QWidget*, const std::string&) override { return {}; }
    void RunAboutBox(QWidget*) override {}

    [[nodiscard]] bool Done() const { return m_done; }

private:
    void Save(QWidget* widget, const char* name) {
        const QString path = QDir(m_pictures).filePath(QString::fromUtf8(name));
        const bool saved = widget->grab().save(path, "PNG");
        std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(path));
    }

    QString m_pictures;
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 4 && args.size() != 5) {
        std::fprintf(stderr,
                     "usage: docsalve-screenshot TREE OUTPUT-FOLDER PICTURE-FOLDER [DEVICE]\n");
        return 2;
    }
    const std::string tree = QFile::encodeName(args[1]).toStdString();
    QDir().mkpath(args[2]);
    QDir().mkpath(args[3]);

    // The tree stands in for a volume of its own, with the device of the file system it is on.
    struct stat treeStat {};
    if (::stat(tree.c_str(), &treeStat) != 0) {
        std::fprintf(stderr, "docsalve-screenshot: cannot examine %s\n", tree.c_str());
        return 2;
    }
    // The volume whose deleted records are searched: the one given (the sample's image), else
    // the device of the file system the tree is on.
    std::string device = args.size() == 5 ? QFile::encodeName(args[4]).toStdString() : "";
    for (const platform::MountEntry& mount : platform::ReadMountTable()) {
        if (args.size() == 4 && makedev(mount.major, mount.minor) == treeStat.st_dev) {
            device = mount.source;
        }
    }
    auto prompts = std::make_shared<ScreenshotPrompts>(args[3]);
    DialogServices services;
    services.prompts = prompts;
    services.readMountTable = [&] {
        return std::vector<platform::MountEntry>{
            {major(treeStat.st_dev), minor(treeStat.st_dev), tree, "ext4", device}};
    };

    CDocsalveDlg dialog(services);
    auto* folder = static_cast<QLineEdit*>(dialog.GetDlgItem(IDC_FOLDER_EDIT));
    folder->setText(args[2]);
    folder->setCursorPosition(0);
    dialog.show();
    QTimer::singleShot(200, &dialog, [&dialog] {
        static_cast<QPushButton*>(dialog.GetDlgItem(IDC_START_BUTTON))->click();
    });
    dialog.exec();
    return prompts->Done() ? 0 : 1;
}
