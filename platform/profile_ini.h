// INI-file profile reading with the semantics of the Windows profile functions: sections and
// key names match without regard to case, blanks around names and values are dropped, a value
// in matching quotes loses them, a bare file name is looked up in "the Windows directory".
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The folder that stands in for the Windows directory when a profile file is named without a
// folder: the environment variable DOCSALVE_WINDOWS_DIR when it is set and not empty, else
// /etc. SetWindowsDirectoryOverride (for tests) wins over both; an empty text removes it.
std::string WindowsDirectory();
void SetWindowsDirectoryOverride(const std::string& folder);

// Copies the value of `key` in `section` of `fileName` into `out` (capacity `outSize` bytes,
// NUL included), or `defaultValue` (null means empty, trailing blanks dropped) when the file,
// the section or the key is missing. A value that does not fit is cut to outSize - 1 bytes.
// Returns the number of bytes copied, without the NUL. A null section or key gives the default.
std::uint32_t GetPrivateProfileStringA(const char* section, const char* key,
                                       const char* defaultValue, char* out, std::uint32_t outSize,
                                       const char* fileName);

// The value of `key` read as an integer: `defaultValue` when the key is missing or its value
// empty; otherwise the number at the start of the value (blanks, then an optional sign, then
// "0x" hexadecimal, "0o" octal, "0b" binary or decimal digits; what follows is ignored; no
// digits read as 0). Values keep their low 32 bits, so "-1" gives 0xFFFFFFFF.
std::uint32_t GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                    const char* fileName);

// The file a profile name refers to: a name without '/' lies in WindowsDirectory().
std::string ResolveProfilePath(const std::string& fileName);

// The value of `key` in `section` of the INI text `text`, by the same matching rules, or
// nothing. Exposed for the settings store that shares the file format.
bool FindProfileValue(const std::string& text, const std::string& section, const std::string& key,
                      std::string& value);

// Reads a whole settings-sized file; false when it cannot be read or is implausibly large.
bool ReadSmallTextFile(const std::string& path, std::string& text);

} // namespace platform
