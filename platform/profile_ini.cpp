// Profile (INI) reading on Linux.
#include "platform/profile_ini.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string_view>
#include <unistd.h>

namespace platform {
namespace {

// A settings file is a few lines; anything bigger is not one, and reading it for every key
// would be wasteful.
constexpr std::size_t kMaxProfileFileSize = 1u << 20;

std::mutex g_windowsDirMutex;
std::string g_windowsDirOverride;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::uint32_t CopyOut(std::string_view value, char* out, std::uint32_t outSize) {
    if (out == nullptr || outSize == 0) {
        return 0;
    }
    const std::size_t n = value.size() < outSize - 1 ? value.size() : outSize - 1;
    if (n > 0) {
        std::memcpy(out, value.data(), n);
    }
    out[n] = '\0';
    return static_cast<std::uint32_t>(n);
}

int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

} // namespace

std::string WindowsDirectory() {
    {
        std::lock_guard<std::mutex> lock(g_windowsDirMutex);
        if (!g_windowsDirOverride.empty()) {
            return g_windowsDirOverride;
        }
    }
    const char* env = std::getenv("DOCSALVE_WINDOWS_DIR");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    return "/etc";
}

void SetWindowsDirectoryOverride(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_windowsDirMutex);
    g_windowsDirOverride = folder;
}

std::string ResolveProfilePath(const std::string& fileName) {
    if (fileName.find('/') != std::string::npos) {
        return fileName;
    }
    std::string folder = WindowsDirectory();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder + fileName;
}

bool ReadSmallTextFile(const std::string& path, std::string& text) {
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        if (static_cast<std::size_t>(got) > kMaxProfileFileSize - text.size()) {
            ok = false;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!ok) {
        text.clear();
    }
    return ok;
}

bool FindProfileValue(const std::string& text, const std::string& section, const std::string& key,
                      std::string& value) {
    std::string_view rest(text);
    // Editors on Linux sometimes save a byte-order mark; it is not part of the first line.
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
        rest.remove_prefix(3);
    }
    const std::string_view wantSection = Trim(section);
    const std::string_view wantKey = Trim(key);
    bool inSection = wantSection.empty();
    while (!rest.empty()) {
        const std::size_t eol = rest.find('\n');
        std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 1);
        line = Trim(line);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            const std::string_view name =
                Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            // The first section of a name is the one that counts; a later repeat is ignored.
            if (inSection && !wantSection.empty()) {
                return false;
            }
            inSection = EqualsNoCaseAscii(name, wantSection);
            continue;
        }
        if (!inSection) {
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string_view name = Trim(line.substr(0, eq));
        if (!EqualsNoCaseAscii(name, wantKey)) {
            continue;
        }
        std::string_view v =
            eq == std::string_view::npos ? std::string_view{} : Trim(line.substr(eq + 1));
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
            v = v.substr(1, v.size() - 2);
        }
        value.assign(v);
        return true;
    }
    return false;
}

std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                       const char* defaultValue, char* out, std::uint32_t outSize,
                                       const char* fileName) {
    std::string_view def = defaultValue == nullptr ? std::string_view{} : defaultValue;
    while (!def.empty() && def.back() == ' ') {
        def.remove_suffix(1);
    }
    if (section == nullptr || key == nullptr || fileName == nullptr) {
        return CopyOut(def, out, outSize);
    }
    std::string text;
    std::string value;
    if (!ReadSmallTextFile(ResolveProfilePath(fileName), text) ||
        !FindProfileValue(text, section, key, value)) {
        return CopyOut(def, out, outSize);
    }
    return CopyOut(value, out, outSize);
}

std::uint32_t GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                    const char* fileName) {
    char buffer[256];
    if (GetPrivateProfileStringA(section, key, "", buffer, sizeof buffer, fileName) == 0) {
        return static_cast<std::uint32_t>(defaultValue);
    }
    std::string_view s(buffer);
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    unsigned base = 10;
    if (s.size() >= 2 && s[0] == '0') {
        const char p = FoldAscii(s[1]);
        base = p == 'X' ? 16 : p == 'O' ? 8 : p == 'B' ? 2 : 10;
        if (base != 10) {
            s.remove_prefix(2);
        }
    }
    std::uint32_t result = 0;
    for (const char c : s) {
        const int d = DigitValue(c);
        if (d >= static_cast<int>(base)) {
            break;
        }
        result = result * base + static_cast<std::uint32_t>(d);
    }
    return negative ? 0u - result : result;
}

} // namespace platform
