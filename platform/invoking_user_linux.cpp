// Linux implementation of platform/invoking_user.h.
#include "platform/invoking_user.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::optional<uid_t> UidFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value == 0 || value > static_cast<unsigned long>(INT32_MAX)) {
        return std::nullopt;
    }
    return static_cast<uid_t>(value);
}

} // namespace

std::optional<UserIds> InvokingUser() {
    if (::geteuid() != 0) {
        return std::nullopt;
    }
    std::optional<uid_t> uid = UidFromEnvironment("PKEXEC_UID");
    if (!uid) {
        uid = UidFromEnvironment("SUDO_UID");
    }
    if (!uid) {
        return std::nullopt;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(*uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::nullopt;
    }
    return UserIds{found->pw_uid, found->pw_gid, found->pw_dir != nullptr ? found->pw_dir : ""};
}

void GiveToInvokingUser(int fd) {
    if (const auto user = InvokingUser()) {
        (void)::fchown(fd, user->uid, user->gid);
    }
}

void GiveToInvokingUser(const std::string& path) {
    if (const auto user = InvokingUser()) {
        (void)::lchown(path.c_str(), user->uid, user->gid);
    }
}

} // namespace platform
