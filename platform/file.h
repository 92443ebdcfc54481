// Files of the output folder and of the walked tree: create-new without ever touching an
// existing file, open for reading, sequential read and write, 64-bit positioning, cutting or
// extending, deletion. One handle is used by one thread within one operation.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class CreateNewResult {
    Created,
    NameExists, // the name is taken: nothing was touched (the counterpart of ERROR_FILE_EXISTS)
    Failed,     // any other failure
};

class File {
public:
    File() = default;
    ~File() { Close(); }
    File(File&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // A new file open for reading and writing; fails without touching an existing file or
    // following a symbolic link of that name.
    static File CreateNew(const std::string& path, CreateNewResult* result = nullptr);
    // An existing regular file open for reading only.
    static File OpenForReading(const std::string& path);

    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }

    // Reads up to `length` bytes at the current position; `bytesRead` < `length` at the end.
    [[nodiscard]] bool Read(void* buffer, std::uint32_t length, std::uint32_t& bytesRead);
    // Writes at the current position; true only when every byte was written.
    [[nodiscard]] bool Write(const void* buffer, std::uint32_t length);
    [[nodiscard]] bool Seek(std::uint64_t position);
    // Cuts or extends the file so that it ends at the current position.
    [[nodiscard]] bool SetEndOfFile();
    // Flushes and closes; false when the data may not have reached the file (for example a
    // full disk reported only at close).
    bool Close();

private:
    explicit File(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

bool DeleteFile(const std::string& path);

// The character that separates path components on this system ('/' here, '\\' on Windows).
constexpr char kPathSeparator = '/';

} // namespace platform
