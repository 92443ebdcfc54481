// The real message boxes, folder picker and About box.
#include "app/dialog_prompts.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <vector>

#include "app/about_dlg.h"
#include "platform/message_box.h"

namespace {

QMessageBox::Icon BoxIcon(std::uint32_t type) {
    switch (type & 0xF0) {
    case platform::MB_ICONERROR:
        return QMessageBox::Critical;
    case platform::MB_ICONQUESTION:
        return QMessageBox::Question;
    case platform::MB_ICONWARNING:
        return QMessageBox::Warning;
    case platform::MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

} // namespace

int DialogPrompts::MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                              std::uint32_t type) {
    QMessageBox box(BoxIcon(type), QString::fromUtf8(caption), QString::fromUtf8(text),
                    QMessageBox::NoButton, owner);
    box.setTextFormat(Qt::PlainText);
    // The buttons speak the dialog's language whatever translations the system has.
    struct Button {
        QMessageBox::StandardButton button;
        const char* text;
        int id;
    };
    const std::uint32_t buttons = type & platform::kMessageBoxButtonsMask;
    std::vector<Button> chosen = {{QMessageBox::Ok, "确定", platform::IDOK}};
    if (buttons == platform::MB_OKCANCEL) {
        chosen = {{QMessageBox::Ok, "确定", platform::IDOK},
                  {QMessageBox::Cancel, "取消", platform::IDCANCEL}};
    } else if (buttons == platform::MB_YESNO) {
        chosen = {{QMessageBox::Yes, "是(&Y)", platform::IDYES},
                  {QMessageBox::No, "否(&N)", platform::IDNO}};
    }
    for (const Button& b : chosen) {
        box.addButton(b.button)->setText(QString::fromUtf8(b.text));
    }
    box.setDefaultButton(chosen.front().button);
    const auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const Button& b : chosen) {
        if (b.button == answer) {
            return b.id;
        }
    }
    // Closed through the title bar: the box's way of saying no.
    return buttons == platform::MB_YESNO ? platform::IDNO
           : buttons == platform::MB_OK  ? platform::IDOK
                                         : platform::IDCANCEL;
}

std::string DialogPrompts::PickFolder(QWidget* owner, const std::string& title) {
    const QString folder = QFileDialog::getExistingDirectory(owner, QString::fromUtf8(title),
                                                             QString(), QFileDialog::ShowDirsOnly);
    return QFile::encodeName(folder).toStdString();
}

void DialogPrompts::RunAboutBox(QWidget* owner) {
    CAboutDlg about(owner);
    about.exec();
}
