// Per-user locations on Linux.
#include "platform/user_paths.h"

#include "platform/invoking_user.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::mutex g_pathsMutex;
std::string g_moduleOverride;
std::string g_reportDirOverride;

bool IsAbsoluteEnv(const char* value) {
    return value != nullptr && value[0] == '/';
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (IsAbsoluteEnv(home)) {
        return home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && IsAbsoluteEnv(found->pw_dir)) {
        return found->pw_dir;
    }
    return {};
}

} // namespace

std::uint32_t GetModuleFileNameA(char* out, std::uint32_t outSize) {
    if (out == nullptr || outSize == 0) {
        return 0;
    }
    std::string path;
    {
        std::lock_guard<std::mutex> lock(g_pathsMutex);
        path = g_moduleOverride;
    }
    if (path.empty()) {
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t got = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (got <= 0) {
            out[0] = '\0';
            return 0;
        }
        path.assign(buffer.data(), static_cast<std::size_t>(got));
    }
    const std::size_t n = path.size() < outSize - 1 ? path.size() : outSize - 1;
    std::memcpy(out, path.data(), n);
    out[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

void SetModuleFileNameOverride(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathsMutex);
    g_moduleOverride = path;
}

std::string UserRuntimeDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return IsAbsoluteEnv(runtime) ? std::string(runtime) : std::string("/tmp");
}

std::string ReportLogDirectory() {
    {
        std::lock_guard<std::mutex> lock(g_pathsMutex);
        if (!g_reportDirOverride.empty()) {
            return g_reportDirOverride;
        }
    }
    // Run through pkexec or sudo, the logs still belong in the invoking user's own folder,
    // where that user finds them, not in root's.
    if (const auto user = InvokingUser(); user && IsAbsoluteEnv(user->home.c_str())) {
        return user->home + "/.local/state/docsalve";
    }
    const char* state = std::getenv("XDG_STATE_HOME");
    if (IsAbsoluteEnv(state)) {
        return std::string(state) + "/docsalve";
    }
    const std::string home = HomeDirectory();
    if (home.empty()) {
        return {};
    }
    return home + "/.local/state/docsalve";
}

void SetReportLogDirectoryOverride(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_pathsMutex);
    g_reportDirOverride = folder;
}

bool IsExistingDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') {
            continue;
        }
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) == 0) {
            GiveToInvokingUser(part);
        } else if (errno != EEXIST) {
            return false;
        }
    }
    return IsExistingDirectory(folder);
}

} // namespace platform
