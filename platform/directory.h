// Enumeration of one directory, in the file system's order, with "." and ".." included and a
// directory bit per entry. The walk relies on it to stay inside one file system: symbolic
// links, mount points of other file systems and special files (FIFOs, sockets, devices) are
// not reported, so the walk can neither loop, leave its volume, nor block on a FIFO.
#pragma once

#include <memory>
#include <string>

namespace platform {

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
};

class DirectoryEnumeration {
public:
    DirectoryEnumeration();
    ~DirectoryEnumeration();
    DirectoryEnumeration(const DirectoryEnumeration&) = delete;
    DirectoryEnumeration& operator=(const DirectoryEnumeration&) = delete;

    // Starts listing `directory`; false when it cannot be listed.
    [[nodiscard]] bool Open(const std::string& directory);
    // The next entry, or false at the end (or on a failure, which also ends the listing).
    [[nodiscard]] bool Next(DirectoryEntry& entry);
    void Close();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The longest path the walk forms; longer paths are skipped. It matches the 1040-byte path
// buffers of the run's messages less their terminator.
constexpr std::size_t kMaxWalkPathBytes = 1039;

} // namespace platform
