// The file-backed registry store.
#include "platform/registry_store.h"

#include "platform/profile_ini.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

constexpr const char* kDefaultRegistryFile = "/etc/docsalve/registry.ini";
constexpr const char* kLocalMachineRoot = "HKEY_LOCAL_MACHINE\\";

std::mutex g_registryMutex;
std::string g_registryOverride;

} // namespace

std::string RegistryFilePath() {
    {
        std::lock_guard<std::mutex> lock(g_registryMutex);
        if (!g_registryOverride.empty()) {
            return g_registryOverride;
        }
    }
    const char* env = std::getenv("DOCSALVE_REGISTRY_FILE");
    if (env != nullptr && *env != '\0') {
        return env;
    }
    return kDefaultRegistryFile;
}

void SetRegistryFileOverride(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    g_registryOverride = path;
}

bool RegistryReadLocalMachineString(const char* subKey, const char* valueName, char* out,
                                    std::uint32_t outSize) {
    if (out != nullptr && outSize > 0) {
        out[0] = '\0';
    }
    if (subKey == nullptr || valueName == nullptr || out == nullptr || outSize == 0) {
        return false;
    }
    std::string text;
    std::string value;
    if (!ReadSmallTextFile(RegistryFilePath(), text) ||
        !FindProfileValue(text, std::string(kLocalMachineRoot) + subKey, valueName, value)) {
        return false;
    }
    // The registry refuses a value that does not fit rather than cutting it.
    if (value.size() >= outSize) {
        return false;
    }
    std::memcpy(out, value.data(), value.size());
    out[value.size()] = '\0';
    return true;
}

} // namespace platform
