// The main dialog under test: prompts that record every box and answer as told, a mount table
// the test writes, and the diagnostic-log sandbox that keeps the report logs in a temporary
// folder.
#pragma once

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/dialog_prompts.h"
#include "app/docsalve_dlg.h"
#include "platform/message_box.h"
#include "tests/diaglog/diaglog_fixture.h"

class FakePrompts : public DialogPrompts {
public:
    struct Box {
        std::string text;
        std::string caption;
        std::uint32_t type = 0;
        std::thread::id thread;
    };

    int MessageBox(QWidget*, const std::string& text, const std::string& caption,
                   std::uint32_t type) override {
        std::lock_guard lock(m_mutex);
        boxes.push_back({text, caption, type, std::this_thread::get_id()});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return (type & platform::kMessageBoxButtonsMask) == platform::MB_YESNO ? platform::IDYES
                                                                               : platform::IDOK;
    }
    std::string PickFolder(QWidget*, const std::string& title) override {
        pickerTitles.push_back(title);
        return pickedFolder;
    }
    void RunAboutBox(QWidget*) override { ++aboutBoxes; }

    std::vector<Box> Boxes() {
        std::lock_guard lock(m_mutex);
        return boxes;
    }

    std::vector<Box> boxes;
    std::deque<int> answers;
    std::string pickedFolder;
    std::vector<std::string> pickerTitles;
    int aboutBoxes = 0;

private:
    std::mutex m_mutex;
};

class DialogTest : public DiagLogSandbox {
protected:
    void SetUp() override {
        DiagLogSandbox::SetUp();
        m_prompts = std::make_shared<FakePrompts>();
    }
    void TearDown() override {
        m_dialog.reset();
        DiagLogSandbox::TearDown();
    }

    // Makes the dialog over `mounts` (the whole mount table, before filtering).
    CDocsalveDlg& Make(std::vector<platform::MountEntry> mounts,
                       platform::DeviceAccess access = platform::DeviceAccess::Readable) {
        DialogServices services;
        services.readMountTable = [mounts] { return mounts; };
        services.probeDevice = [this, access](const std::string& device) {
            m_probed.push_back(device);
            return access;
        };
        services.prompts = m_prompts;
        m_dialog = std::make_unique<CDocsalveDlg>(std::move(services));
        return *m_dialog;
    }

    template <class Widget = QWidget> Widget* Item(int id) {
        return qobject_cast<Widget*>(m_dialog->GetDlgItem(id));
    }
    std::string Text(int id) {
        QWidget* w = m_dialog->GetDlgItem(id);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            return label->text().toStdString();
        }
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            return edit->text().toStdString();
        }
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            return button->text().toStdString();
        }
        return {};
    }
    void SetFolderText(const std::string& text) {
        Item<QLineEdit>(IDC_FOLDER_EDIT)->setText(QString::fromStdString(text));
    }
    void Click(int id) { Item<QPushButton>(id)->click(); }
    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : m_prompts->Boxes()) {
            texts.push_back(box.text);
        }
        return texts;
    }

    // A volume of the given type at `mountPoint`.
    static platform::MountEntry Volume(const std::string& mountPoint,
                                       const std::string& type = "ext4",
                                       const std::string& source = "/dev/sda1", unsigned major = 8,
                                       unsigned minor = 1) {
        return {major, minor, mountPoint, type, source};
    }

    std::shared_ptr<FakePrompts> m_prompts;
    std::unique_ptr<CDocsalveDlg> m_dialog;
    std::vector<std::string> m_probed;
};
