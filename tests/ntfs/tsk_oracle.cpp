// Running the oracles and caching the images they check.
#include "tests/ntfs/tsk_oracle.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace ntfs_test {

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::optional<std::string> RunCommand(const std::string& command) {
    // Tools such as mkntfs live in /usr/sbin, which a test's PATH may lack.
    const std::string full = "export PATH=\"$PATH:/usr/sbin:/sbin\"; " + command;
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string out;
    std::array<char, 65536> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        out.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return out;
}

std::optional<std::vector<TskFile>> ListFiles(const std::string& image,
                                              std::uint64_t sectorOffset) {
    const auto out =
        RunCommand("fls -r -p -F -u -o " + std::to_string(sectorOffset) + " " + ShellQuote(image));
    if (!out) {
        return std::nullopt;
    }
    std::vector<TskFile> files;
    std::istringstream lines(*out);
    std::string line;
    while (std::getline(lines, line)) {
        // "r/r 43-128-1:\ttest/1.txt"; named streams carry ":name" after the path.
        const auto tab = line.find('\t');
        const auto space = line.find(' ');
        if (tab == std::string::npos || space == std::string::npos || line.rfind("r/r ", 0) != 0) {
            continue;
        }
        const std::string address = line.substr(space + 1, tab - space - 2);
        const std::string path = line.substr(tab + 1);
        if (address.find("-128-") == std::string::npos || path.find(':') != std::string::npos) {
            continue;
        }
        files.push_back({std::stoull(address.substr(0, address.find('-'))), path});
    }
    return files;
}

std::optional<std::string> Icat(const std::string& image, std::uint64_t sectorOffset,
                                std::uint64_t inode) {
    return RunCommand("icat -o " + std::to_string(sectorOffset) + " " + ShellQuote(image) + " " +
                      std::to_string(inode));
}

std::optional<std::map<std::string, std::string>> Fsstat(const std::string& image,
                                                         std::uint64_t sectorOffset) {
    const auto out =
        RunCommand("fsstat -o " + std::to_string(sectorOffset) + " " + ShellQuote(image));
    if (!out) {
        return std::nullopt;
    }
    std::map<std::string, std::string> fields;
    std::istringstream lines(*out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(": ");
        if (colon != std::string::npos && fields.count(line.substr(0, colon)) == 0) {
            fields[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return fields;
}

std::optional<std::string> CachedFile(const std::string& name,
                                      const std::string& makeCommandWithPathPlaceholder) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(DOCSALVE_BINARY_DIR) / "tests" / "ntfs" / "images";
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path target = dir / name;
    if (fs::exists(target)) {
        return target.string();
    }
    const fs::path temp = dir / (name + ".tmp" + std::to_string(getpid()));
    std::string command = makeCommandWithPathPlaceholder;
    const std::string placeholder = "{}";
    for (auto at = command.find(placeholder); at != std::string::npos;
         at = command.find(placeholder, at)) {
        command.replace(at, placeholder.size(), ShellQuote(temp.string()));
    }
    if (!RunCommand("(" + command + ") >/dev/null 2>&1")) {
        fs::remove(temp, ec);
        return std::nullopt;
    }
    fs::rename(temp, target, ec);
    if (ec) {
        fs::remove(temp, ec);
        return fs::exists(target) ? std::optional<std::string>(target.string()) : std::nullopt;
    }
    return target.string();
}

std::optional<std::string> DecompressedFixture(const std::string& gzName) {
    namespace fs = std::filesystem;
    // Beside the repository by default; DOCSALVE_FIXTURE_DIR points elsewhere (a worktree in
    // another folder, a CI cache).
    const char* overrideDir = std::getenv("DOCSALVE_FIXTURE_DIR");
    const fs::path base = overrideDir != nullptr && *overrideDir != '\0'
                              ? fs::path(overrideDir)
                              : fs::path(DOCSALVE_SOURCE_DIR) / ".." / "shared" / "fixtures";
    const fs::path source = base / "windows" / gzName;
    if (!fs::exists(source)) {
        return std::nullopt;
    }
    std::string name = gzName;
    if (name.size() > 3 && name.substr(name.size() - 3) == ".gz") {
        name.resize(name.size() - 3);
    }
    return CachedFile(name, "gzip -dc " + ShellQuote(source.string()) + " > {}");
}

} // namespace ntfs_test
