// Debugger output: the system log (the journal) at debug priority. Like a debugger's output
// window it is out of the user's way unless looked for, so a command-line run does not print
// every report line twice.
#include "platform/debug_output.h"

#include <mutex>
#include <string>
#include <syslog.h>

namespace platform {
namespace {

std::mutex g_sinkMutex;
std::function<void(std::string_view)> g_sink;

} // namespace

void OutputDebugStringA(const char* text) {
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
    // The lines end in CR LF for the log file; the system log keeps one line per entry.
    while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r')) {
        rest.remove_suffix(1);
    }
    const std::string line(rest);
    ::syslog(LOG_USER | LOG_DEBUG, "%s", line.c_str());
}

void SetDebugOutputSink(std::function<void(std::string_view)> sink) {
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

} // namespace platform
