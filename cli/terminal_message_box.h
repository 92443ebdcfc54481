// Message boxes of a command-line run: questions are answered from --large or at a terminal
// prompt, notices go to standard error.
#pragma once

#include "cli/cli_options.h"
#include "platform/message_box.h"

class CliReceiver;

class TerminalMessageBox final : public platform::MessageBoxProvider {
public:
    // `receiver` clears its status line before a box is shown (called on the walk thread while
    // the main thread waits in a send, or from the main thread itself: never both at once).
    TerminalMessageBox(LargeFileAnswer answer, CliReceiver* receiver)
        : m_answer(answer), m_receiver(receiver) {}

    int Show(const std::string& text, const std::string& caption, std::uint32_t type) override;

private:
    LargeFileAnswer m_answer;
    CliReceiver* m_receiver;
};
