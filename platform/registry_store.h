// The machine-wide registry values the program reads, kept on Linux in one INI-format text
// file: each key is a section named by its full path, each string value a "name=data" line.
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Halvorn\Vexo]
//   datapath=/var/lib/vexo
//
// The file is /etc/docsalve/registry.ini, or the file named by the environment variable
// DOCSALVE_REGISTRY_FILE; SetRegistryFileOverride (for tests) wins over both. Key paths and
// value names match without regard to case, as in the registry.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::string RegistryFilePath();
void SetRegistryFileOverride(const std::string& path);

// Reads the string value `valueName` of the key `subKey` under HKEY_LOCAL_MACHINE into `out`
// (capacity `outSize` bytes, NUL included). False, with `out` emptied, when the store, the key
// or the value is missing, or when the value with its NUL does not fit.
bool RegistryReadLocalMachineString(const char* subKey, const char* valueName, char* out,
                                    std::uint32_t outSize);

} // namespace platform
