// Opening a file with the program the desktop associates with it (xdg-open), the way a user's
// double click would. The opener runs detached: the caller never waits for it, and its output
// never mixes with the caller's.
#pragma once

#include <string>

namespace platform {

// Starts the opener for `path` and returns at once. True when the opener was started; whether
// it found a program for the file is not known and not waited for.
bool ShellOpenFile(const std::string& path);

// Replaces "xdg-open" as the opener (for tests); an empty text restores it.
void SetShellOpenCommandOverride(const std::string& command);

} // namespace platform
