// The dialogs' modal questions: message boxes, the folder picker and the About box. The
// program shows real ones; tests put a subclass in their place that answers as it is told.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

class DialogPrompts {
public:
    virtual ~DialogPrompts() = default;

    // A modal box owned by `owner` with the buttons and icon of `type` (platform::MB_*);
    // returns the button chosen (platform::IDOK, IDCANCEL, IDYES, IDNO).
    virtual int MessageBox(QWidget* owner, const std::string& text, const std::string& caption,
                           std::uint32_t type);

    // The desktop's folder dialog with `title`; the chosen folder's path, or empty when the
    // user cancelled or the choice has no local path.
    virtual std::string PickFolder(QWidget* owner, const std::string& title);

    // Runs the About box modally over `owner`.
    virtual void RunAboutBox(QWidget* owner);
};
