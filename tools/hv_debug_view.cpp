// hv-debug-view: listens where the diagnostic log looks for its viewer and prints every line
// it receives, as it arrives, until interrupted.
//
//   hv-debug-view [--socket PATH] [--count N]
//
// --socket listens at PATH instead of the user's viewer socket; --count stops after N lines.
#include "diaglog/debug_view_record.h"
#include "platform/viewer_socket.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kViewerName = "HV_DEBUG_VIEW";

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

int Usage() {
    std::fprintf(stderr, "usage: hv-debug-view [--socket PATH] [--count N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string path = platform::ViewerSocketPath(kViewerName);
    long count = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--socket" && i + 1 < argc) {
            path = argv[++i];
        } else if (arg == "--count" && i + 1 < argc) {
            char* end = nullptr;
            count = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || count <= 0) {
                return Usage();
            }
        } else {
            return Usage();
        }
    }

    // Without SA_RESTART the wait returns on a signal, so the listener is closed and its
    // socket file removed on the way out.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    auto listener = platform::ViewerListener::Listen(path);
    if (!listener) {
        std::fprintf(stderr, "hv-debug-view: cannot listen at %s (another viewer running?)\n",
                     path.c_str());
        return 1;
    }
    std::fprintf(stderr, "hv-debug-view: listening at %s\n", path.c_str());

    while (g_stop == 0 && count != 0) {
        const auto packet = listener->Receive(-1);
        if (!packet) {
            continue;
        }
        const auto line = DecodeDebugViewRecord(*packet);
        if (!line) {
            std::fprintf(stderr, "hv-debug-view: ignored a malformed record of %zu bytes\n",
                         packet->size());
            continue;
        }
        // Lines carry their own CR LF; one cut at the length limit has none.
        std::string text = *line;
        if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) {
            text.erase(text.size() - 2, 1);
        } else if (text.empty() || text.back() != '\n') {
            text += '\n';
        }
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        if (count > 0) {
            --count;
        }
    }
    return 0;
}
