// The user on whose behalf the program runs with root's rights (started through pkexec or
// sudo, as reading a raw volume requires). Files and folders the program makes for that user
// (recovered documents, report logs) are handed to them, so that they can edit and remove what
// was recovered without root.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace platform {

struct UserIds {
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

// The invoking user when this process runs as root and PKEXEC_UID (pkexec) or SUDO_UID (sudo)
// names another, existing user; nothing otherwise.
std::optional<UserIds> InvokingUser();

// Gives a file or folder that this process has just created to the invoking user, if there is
// one. Failures are ignored: the item stays root's, which loses nothing.
void GiveToInvokingUser(int fd);
void GiveToInvokingUser(const std::string& path);

} // namespace platform
