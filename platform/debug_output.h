// The debugger output of a Linux process: its standard error. Lines are written as they are
// given, in one write each, so lines of concurrent writers do not mix.
#pragma once

#include <functional>
#include <string_view>

namespace platform {

void OutputDebugStringA(const char *text);

// Replaces standard error as the destination (for tests); an empty function restores it.
void SetDebugOutputSink(std::function<void(std::string_view)> sink);

} // namespace platform
