// Answers to the restore's questions on the command line.
#include "cli/terminal_message_box.h"

#include <cstdio>

#include "cli/cli_receiver.h"

int TerminalMessageBox::Show(const std::string& text, const std::string& caption,
                             std::uint32_t type) {
    const std::uint32_t buttons = type & platform::kMessageBoxButtonsMask;
    const bool question = buttons == platform::MB_OKCANCEL || buttons == platform::MB_YESNO;
    const int yes = buttons == platform::MB_YESNO ? platform::IDYES : platform::IDOK;
    const int no = buttons == platform::MB_YESNO ? platform::IDNO : platform::IDCANCEL;

    if (!question) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        return platform::IDOK;
    }
    if (m_answer == LargeFileAnswer::Yes) {
        return yes;
    }
    if (m_answer == LargeFileAnswer::No) {
        return no;
    }
    std::FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) {
        return yes;
    }
    if (m_receiver != nullptr) {
        m_receiver->ClearStatus();
    }
    std::fprintf(tty, "%s [y/n] ", text.c_str());
    std::fflush(tty);
    char line[32] = {};
    const bool answered = std::fgets(line, sizeof line, tty) != nullptr;
    std::fclose(tty);
    return answered && (line[0] == 'y' || line[0] == 'Y') ? yes : no;
}
