// The Sleuth Kit and the ntfs-3g tools as test oracles: run them and parse what they print.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ntfs_test {

// Runs `command` through the shell; its standard output, or nothing when it fails.
std::optional<std::string> RunCommand(const std::string& command);

// Quotes `text` for the shell.
std::string ShellQuote(const std::string& text);

struct TskFile {
    std::uint64_t inode = 0;
    std::string path;
};

// In-use files with an unnamed $DATA stream, as `fls -r -p -F` lists them.
std::optional<std::vector<TskFile>> ListFiles(const std::string& image, std::uint64_t sectorOffset);

// The unnamed $DATA stream of `inode`, as `icat` gives it.
std::optional<std::string> Icat(const std::string& image, std::uint64_t sectorOffset,
                                std::uint64_t inode);

// "Key: value" lines of `fsstat`.
std::optional<std::map<std::string, std::string>> Fsstat(const std::string& image,
                                                         std::uint64_t sectorOffset);

// A file under the build tree made once per build by `make` (which must create the path it is
// given), shared by the test processes: made under a temporary name and renamed into place.
std::optional<std::string> CachedFile(const std::string& name,
                                      const std::string& makeCommandWithPathPlaceholder);

// Decompresses a Windows fixture (fixtures/windows/<gzName>) into the build tree once;
// nothing when the fixture is missing.
std::optional<std::string> DecompressedFixture(const std::string& gzName);

} // namespace ntfs_test
