// Debugger output to standard error.
#include "platform/debug_output.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace platform {
namespace {

std::mutex g_sinkMutex;
std::function<void(std::string_view)> g_sink;

} // namespace

void OutputDebugStringA(const char *text) {
    if (text == nullptr) {
        return;
    }
    std::string_view rest(text);
    {
        std::lock_guard<std::mutex> lock(g_sinkMutex);
        if (g_sink) {
            g_sink(rest);
            return;
        }
    }
    while (!rest.empty()) {
        const ssize_t wrote = ::write(STDERR_FILENO, rest.data(), rest.size());
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return;
        }
        rest.remove_prefix(static_cast<std::size_t>(wrote));
    }
}

void SetDebugOutputSink(std::function<void(std::string_view)> sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

} // namespace platform
