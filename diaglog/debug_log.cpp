// The diagnostic log's process-wide state and its writing steps.
#include "diaglog/debug_log.h"

#include "diaglog/debug_view_record.h"
#include "platform/debug_output.h"
#include "platform/log_file.h"
#include "platform/profile_ini.h"
#include "platform/registry_store.h"
#include "platform/user_paths.h"
#include "platform/viewer_socket.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

constexpr const char* kSection = "DEBUG";
constexpr const char* kSettingsFileName = "VEXO.INI";
constexpr const char* kRegistryKeyFormat = "SOFTWARE\\Halvorn\\%s";
constexpr const char* kRegistryProduct = "Vexo";
constexpr const char* kDataPathValue = "datapath";
constexpr const char* kViewerName = "HV_DEBUG_VIEW";
constexpr const char* kLogFolderName = "logfiles";

constexpr std::uint32_t kOutputBeforeRefresh = DEBUG_OUTPUT_FILE;
constexpr std::uint32_t kOutputDefault = DEBUG_OUTPUT_FILE | DEBUG_OUTPUT_DEBUGGER;
constexpr std::uint32_t kLogSizeKbDefault = 512;

// Path buffers of the settings: 260 bytes with the NUL for names read from the settings and
// the registry, 261 for the program's path and the paths derived from it.
constexpr std::size_t kShortPathCapacity = 260;
constexpr std::size_t kPathCapacity = 261;
// The profile functions read a number's text into this many bytes.
constexpr std::size_t kNumberTextCapacity = 260;

struct DebugLogSettings {
    std::uint32_t output = kOutputBeforeRefresh;
    std::uint32_t logSizeKb = kLogSizeKbDefault;
    std::string defaultPath;
    std::unique_ptr<platform::ViewerWindow> viewerWindow;
    std::uint32_t lastRefreshTick = 0;
};

// One writer at a time: the settings, the viewer connection and the files are touched only
// under this lock.
std::mutex g_mutex;
DebugLogSettings g_settings;
const platform::LogClock* g_clock = nullptr;

const platform::LogClock& Clock() {
    return g_clock != nullptr ? *g_clock : platform::SystemLogClock();
}

// Appends as much of `text` as fits in a buffer of `capacity` bytes with its NUL.
void AppendWithin(std::string& buffer, std::string_view text, std::size_t capacity) {
    if (capacity == 0 || buffer.size() >= capacity - 1) {
        return;
    }
    const std::size_t room = capacity - 1 - buffer.size();
    buffer.append(text.substr(0, room));
}

std::string ModulePath() {
    char buffer[kPathCapacity];
    const std::uint32_t n = platform::GetModuleFileNameA(buffer, sizeof buffer);
    return std::string(buffer, n);
}

// The profile text of `key`, cut to `capacity` - 1 bytes.
std::string ReadProfileText(const char* key, std::size_t capacity) {
    std::string buffer(capacity, '\0');
    const std::string settings = DebugLogSettingsFilePath();
    const std::uint32_t n = platform::GetPrivateProfileStringA(
        kSection, key, "", buffer.data(), static_cast<std::uint32_t>(capacity), settings.c_str());
    buffer.resize(n);
    return buffer;
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// A scanf-style conversion of the number at the start of `text`: blanks, an optional sign,
// for base 16 an optional "0X", then at least one digit; nothing read gives false. Values keep
// their low 32 bits.
bool ScanNumber(std::string_view text, unsigned base, std::uint32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (base == 16 && text.size() - i >= 3 && text[i] == '0' && text[i + 1] == 'X') {
        i += 2;
    }
    std::uint32_t result = 0;
    std::size_t digits = 0;
    for (; i < text.size(); ++i, ++digits) {
        const char c = text[i];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            break;
        }
        if (d >= base) {
            break;
        }
        result = result * base + d;
    }
    if (digits == 0) {
        return false;
    }
    value = negative ? 0u - result : result;
    return true;
}

void ResolveDefaultPathLocked() {
    std::string path = ReadProfileText("LOGNAME", kShortPathCapacity);
    if (!path.empty()) {
        g_settings.defaultPath = path;
        return;
    }
    path = ModulePath();
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
        const std::string folder = path.substr(0, slash) + "/" + kLogFolderName;
        // A program path so long that "/logfiles" no longer fits keeps its own folder.
        if (platform::IsExistingDirectory(folder) &&
            folder.size() + (path.size() - slash) < kShortPathCapacity) {
            path = folder + path.substr(slash);
        }
    }
    AppendWithin(path, ".log", kShortPathCapacity);
    g_settings.defaultPath = path;
}

void RefreshLocked() {
    g_settings.output = static_cast<std::uint32_t>(DebugLogReadNumber("OUTPUT", kOutputDefault));
    const std::string settings = DebugLogSettingsFilePath();
    g_settings.logSizeKb = platform::GetPrivateProfileIntA(
        kSection, "LOGSIZE", static_cast<int>(kLogSizeKbDefault), settings.c_str());
    ResolveDefaultPathLocked();
    if ((g_settings.output & DEBUG_OUTPUT_VIEWER) != 0 &&
        !(g_settings.viewerWindow && g_settings.viewerWindow->IsAlive())) {
        g_settings.viewerWindow = platform::ViewerWindow::Find(kViewerName);
    }
    g_settings.lastRefreshTick = Clock().TickMs();
}

void AppendToFileLocked(const char* file, std::string_view line) {
    const std::string target = DebugLogTargetPath(file);
    auto handle = platform::LogFile::OpenAlways(target);
    if (!handle) {
        return;
    }
    const std::uint64_t limit = std::uint64_t{g_settings.logSizeKb} * 1024u;
    const auto size = handle->Size();
    if (size && *size > limit) {
        handle.reset();
        const std::string rotation = DebugLogRotationPath(target);
        // The rotation file is replaced: the log keeps the current file and one before it.
        // Its own permissions do not matter; removing a file is decided by its folder.
        platform::DeleteLogFile(rotation);
        platform::MoveLogFile(target, rotation);
        handle = platform::LogFile::OpenAlways(target);
        if (!handle) {
            return;
        }
    }
    handle->Append(line);
}

void WriteLineLocked(const char* message, const char* file) {
    const std::uint32_t now = Clock().TickMs();
    // Unsigned arithmetic keeps the difference right when the tick counter wraps.
    if (static_cast<std::uint32_t>(now - g_settings.lastRefreshTick) > kDebugRefreshIntervalMs) {
        RefreshLocked();
    }
    if (message == nullptr) {
        return;
    }
    const std::uint32_t output = g_settings.output;
    const std::string line = DebugLogBuildLine(Clock().Now(), message);
    if ((output & DEBUG_OUTPUT_FILE) != 0) {
        AppendToFileLocked(file != nullptr ? file : g_settings.defaultPath.c_str(), line);
    }
    if ((output & DEBUG_OUTPUT_DEBUGGER) != 0) {
        platform::OutputDebugStringA(line.c_str());
    }
    if ((output & DEBUG_OUTPUT_VIEWER) != 0 && g_settings.viewerWindow &&
        g_settings.viewerWindow->IsAlive()) {
        const DebugViewRecord record = EncodeDebugViewRecord(line);
        g_settings.viewerWindow->Send(record);
    }
}

} // namespace

void DebugLogPrint(const char* file, const char* format, ...) {
    char message[kDebugMessageBufferSize];
    message[0] = '\0';
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        // vsnprintf cuts longer output and always terminates it.
        std::vsnprintf(message, sizeof message, format, args);
        va_end(args);
    }
    DebugLogWriteLine(message, file);
}

void DebugLogWriteLine(const char* message, const char* file) {
    std::lock_guard<std::mutex> lock(g_mutex);
    WriteLineLocked(message, file);
}

void DebugLogRefreshSettings() {
    std::lock_guard<std::mutex> lock(g_mutex);
    RefreshLocked();
}

std::int32_t DebugLogReadNumber(const char* key, std::int32_t defaultValue) {
    std::string text = ReadProfileText(key, kNumberTextCapacity);
    if (text.empty()) {
        return defaultValue;
    }
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    const std::string_view t(text);
    std::uint32_t value = 0;
    // Octal after a leading 0, then hexadecimal after a leading 0X, then decimal; a form that
    // does not apply or reads as zero passes to the next.
    if (t.starts_with('0') && ScanNumber(t.substr(1), 8, value) && value != 0) {
        return static_cast<std::int32_t>(value);
    }
    if (t.starts_with("0X") && ScanNumber(t.substr(2), 16, value) && value != 0) {
        return static_cast<std::int32_t>(value);
    }
    if (ScanNumber(t, 10, value) && value != 0) {
        return static_cast<std::int32_t>(value);
    }
    return defaultValue;
}

std::string DebugLogReadDataPath() {
    char key[kShortPathCapacity];
    std::snprintf(key, sizeof key, kRegistryKeyFormat, kRegistryProduct);
    char value[kShortPathCapacity];
    if (!platform::RegistryReadLocalMachineString(key, kDataPathValue, value, sizeof value) ||
        value[0] == '\0') {
        return {};
    }
    // The separator is added even after one that is already there: a doubled '/' is harmless.
    return std::string(value) + "/";
}

std::string DebugLogSettingsFilePath() {
    std::string path = DebugLogReadDataPath();
    AppendWithin(path, kSettingsFileName, kShortPathCapacity);
    return path;
}

void DebugLogResolveDefaultPath() {
    std::lock_guard<std::mutex> lock(g_mutex);
    ResolveDefaultPathLocked();
}

void DebugLogAppendToFile(const char* file, const char* line) {
    if (line == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    AppendToFileLocked(file, line);
}

std::string DebugLogBuildLine(const platform::LogTime& now, std::string_view message) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "[%04d-%02d-%02d][%02d:%02d:%02d:%03d]", now.year,
                  now.month, now.day, now.hour, now.minute, now.second, now.millisecond);
    std::string line;
    line.reserve(kDebugLineBufferSize);
    AppendWithin(line, prefix, kDebugLineBufferSize);
    AppendWithin(line, message, kDebugLineBufferSize);
    AppendWithin(line, "\r\n", kDebugLineBufferSize);
    return line;
}

std::string DebugLogTargetPath(const char* file) {
    const std::string_view name = file == nullptr ? std::string_view{} : std::string_view(file);
    if (name.empty()) {
        std::string path = ModulePath();
        AppendWithin(path, ".log", kPathCapacity);
        return path;
    }
    if (name.find('/') == std::string_view::npos) {
        const std::string module = ModulePath();
        const std::size_t slash = module.rfind('/');
        std::string path = slash == std::string::npos ? std::string() : module.substr(0, slash + 1);
        AppendWithin(path, name, kPathCapacity);
        return path;
    }
    return std::string(name);
}

std::string DebugLogRotationPath(std::string_view target) {
    std::string path(target.substr(0, target.rfind('.')));
    AppendWithin(path, "2.log", kPathCapacity);
    return path;
}

DebugLogSettingsSnapshot DebugLogCurrentSettings() {
    std::lock_guard<std::mutex> lock(g_mutex);
    DebugLogSettingsSnapshot s;
    s.output = g_settings.output;
    s.logSizeKb = g_settings.logSizeKb;
    s.defaultPath = g_settings.defaultPath;
    s.hasViewer = g_settings.viewerWindow != nullptr;
    s.lastRefreshTick = g_settings.lastRefreshTick;
    return s;
}

void DebugLogSetClock(const platform::LogClock* clock) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_clock = clock;
}

void DebugLogResetState() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_settings = DebugLogSettings{};
}
