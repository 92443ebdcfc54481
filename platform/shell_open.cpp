// Detached xdg-open.
#include "platform/shell_open.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

std::mutex g_openerMutex;
std::string g_openerOverride;

} // namespace

void SetShellOpenCommandOverride(const std::string& command) {
    std::lock_guard<std::mutex> lock(g_openerMutex);
    g_openerOverride = command;
}

bool ShellOpenFile(const std::string& path) {
    std::string opener;
    {
        std::lock_guard<std::mutex> lock(g_openerMutex);
        opener = g_openerOverride.empty() ? std::string("xdg-open") : g_openerOverride;
    }
    // Everything the child needs is made before fork: between fork and exec a threaded
    // program may only make async-signal-safe calls.
    char* const argv[] = {opener.data(), const_cast<char*>(path.c_str()), nullptr};

    // Fork twice: the middle process exits at once and is reaped here, so the opener is
    // adopted by init and never left as a zombie nor waited for.
    const pid_t middle = ::fork();
    if (middle < 0) {
        return false;
    }
    if (middle == 0) {
        ::setsid();
        const pid_t openerPid = ::fork();
        if (openerPid != 0) {
            ::_exit(openerPid < 0 ? 1 : 0);
        }
        const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        ::execvp(argv[0], argv);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace platform
