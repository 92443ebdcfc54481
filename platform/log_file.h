// The file operations of a log writer: open-or-create for appending, size, move aside and
// delete. Every log line opens and closes its file, so other programs can read, move or
// delete the log between lines.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class LogFile {
public:
    // Opens `path` for reading and writing, creating it (mode 0666 less the umask) when
    // absent; null when it cannot be opened.
    static std::unique_ptr<LogFile> OpenAlways(const std::string& path);

    // Public for std::make_unique only; Key keeps construction inside OpenAlways.
    struct Key {
        explicit Key() = default;
    };
    LogFile(Key, int fd) : m_fd(fd) {}
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // The file's size in bytes, or nothing when it cannot be read.
    [[nodiscard]] std::optional<std::uint64_t> Size() const;

    // Writes all of `bytes` at the end of the file; false when not all could be written.
    bool Append(std::string_view bytes);

private:
    int m_fd;
};

// Removes the file `path`; false when it could not be removed (a missing file included).
bool DeleteLogFile(const std::string& path);

// Renames `from` to `to` (on the same file system); false when it could not be done.
bool MoveLogFile(const std::string& from, const std::string& to);

} // namespace platform
