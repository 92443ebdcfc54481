// Where this program is and where it may write per-user files: its own path, the user's
// runtime folder (for local sockets) and the folder that keeps the per-run report logs.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The program's own full path (/proc/self/exe resolved) copied into `out` (capacity
// `outSize` bytes, NUL included), cut to outSize - 1 bytes when longer. Returns the number of
// bytes copied, 0 on failure. SetModuleFileNameOverride (for tests) replaces the real path;
// an empty text removes the override.
std::uint32_t GetModuleFileNameA(char* out, std::uint32_t outSize);
void SetModuleFileNameOverride(const std::string& path);

// $XDG_RUNTIME_DIR when it is an absolute path, else /tmp.
std::string UserRuntimeDirectory();

// The folder of the report logs: $XDG_STATE_HOME/docsalve when XDG_STATE_HOME is an absolute
// path, else $HOME/.local/state/docsalve (the home folder from the password database when
// HOME is unset). An installed program's own folder is not writable, so its logs live here.
// SetReportLogDirectoryOverride (for tests) replaces it; an empty text removes the override.
std::string ReportLogDirectory();
void SetReportLogDirectoryOverride(const std::string& folder);

// Creates `folder` and its missing parents with mode 0700; true when it exists afterwards as a
// directory.
bool CreateDirectories(const std::string& folder);

// True when `path` names an existing directory.
bool IsExistingDirectory(const std::string& path);

} // namespace platform
