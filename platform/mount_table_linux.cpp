// Linux implementation of platform/mount_table.h.
#include "platform/mount_table.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {
namespace {

// mountinfo escapes space, tab, newline and backslash as a backslash and three octal digits.
std::string Unescape(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4 && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    // Fields: id parent major:minor root mountpoint options [optional...] - fstype source opts
    std::vector<MountEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, mountPoint, options;
        if (!(fields >> id >> parent >> device >> root >> mountPoint >> options)) {
            continue;
        }
        std::string field;
        bool separatorSeen = false;
        while (fields >> field) {
            if (field == "-") {
                separatorSeen = true;
                break;
            }
        }
        MountEntry entry;
        if (!separatorSeen || !(fields >> entry.fsType >> entry.source)) {
            continue;
        }
        std::size_t colon = device.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        try {
            entry.major = static_cast<unsigned>(std::stoul(device.substr(0, colon)));
            entry.minor = static_cast<unsigned>(std::stoul(device.substr(colon + 1)));
        } catch (const std::exception&) {
            continue;
        }
        entry.mountPoint = Unescape(mountPoint);
        entry.source = Unescape(entry.source);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream file("/proc/self/mountinfo");
    std::stringstream text;
    text << file.rdbuf();
    return ParseMountInfo(text.str());
}

std::optional<MountEntry> MountContaining(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    std::optional<MountEntry> found;
    for (MountEntry& entry : ReadMountTable()) {
        if (entry.major == major(st.st_dev) && entry.minor == minor(st.st_dev)) {
            found = std::move(entry);
        }
    }
    return found;
}

} // namespace platform
