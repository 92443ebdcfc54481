// The debugger output of a Linux process: the system log (journal) at debug priority, one
// entry per line (`journalctl -p debug -t docsalve-cli`, for example).
#pragma once

#include <functional>
#include <string_view>

namespace platform {

void OutputDebugStringA(const char* text);

// Replaces the system log as the destination (for tests); an empty function restores it.
void SetDebugOutputSink(std::function<void(std::string_view)> sink);

} // namespace platform
