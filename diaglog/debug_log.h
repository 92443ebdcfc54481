// The diagnostic log: a caller hands over a printf-style format and arguments, optionally with
// a file, and one time-stamped line goes to up to three outputs (a size-limited log file with
// one rotation file, the debugger output, a live viewer) as the section "DEBUG" of the
// settings file "VEXO.INI" selects. The settings are read again at most every 10 seconds, so
// they can be changed while the program runs. Plain functions over process-wide state; calls
// are serialised, one line at a time.
#pragma once

#include "platform/log_clock.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr std::uint32_t DEBUG_OUTPUT_FILE = 1;
constexpr std::uint32_t DEBUG_OUTPUT_DEBUGGER = 2;
constexpr std::uint32_t DEBUG_OUTPUT_VIEWER = 4;

// A line is built in this many bytes, its NUL included.
constexpr std::size_t kDebugLineBufferSize = 2048;
// A formatted message is at most 2046 bytes.
constexpr std::size_t kDebugMessageBufferSize = 2047;
// Settings are read again on the first line more than this long after the last reading.
constexpr std::uint32_t kDebugRefreshIntervalMs = 10000;

// The settings as the log holds them now (a copy, for inspection).
struct DebugLogSettingsSnapshot {
    std::uint32_t output = 0;
    std::uint32_t logSizeKb = 0;
    std::string defaultPath;
    bool hasViewer = false;
    std::uint32_t lastRefreshTick = 0;
};

// Formats the message (at most 2046 bytes, longer output cut) and writes it as one line to
// `file` (a path, a bare name placed in the program's folder, or null for the default log).
void DebugLogPrint(const char* file, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reads the settings again when they are due, then writes `message` as one line. A null
// message only refreshes.
void DebugLogWriteLine(const char* message, const char* file);

// Reads "OUTPUT", "LOGSIZE" and "LOGNAME", and looks for the viewer when it is wanted and not
// already connected.
void DebugLogRefreshSettings();

// The number in key `key` of section "DEBUG": an octal number after a leading 0, else a
// hexadecimal one after a leading 0X, else a signed decimal one, each read from the start of
// the upper-cased text; `defaultValue` when the text is empty or all three read as zero.
std::int32_t DebugLogReadNumber(const char* key, std::int32_t defaultValue);

// The data path of the settings file: the registry value "datapath" with one '/' appended, or
// empty when there is none.
std::string DebugLogReadDataPath();

// The settings file's path: the data path followed by "VEXO.INI", or the bare name.
std::string DebugLogSettingsFilePath();

// Sets the default log path from "LOGNAME", or from the program's path (in a "logfiles"
// folder beside the program when one exists) with ".log" appended.
void DebugLogResolveDefaultPath();

// Appends `line` to the file named `file` (see DebugLogPrint), moving the file to its rotation
// path first when it has grown beyond the size limit. Failures lose the line silently.
void DebugLogAppendToFile(const char* file, const char* line);

// The line for `message` at time `now`: "[YYYY-MM-DD][hh:mm:ss:mmm]", the message, CR LF, each
// part cut so that the whole stays within 2047 bytes.
std::string DebugLogBuildLine(const platform::LogTime& now, std::string_view message);

// The file a caller's name refers to: null or empty gives the program's path plus ".log", a
// name without '/' lies in the program's folder, anything else is used as given.
std::string DebugLogTargetPath(const char* file);

// Where a full log file is moved: the path cut at its last '.', then "2.log".
std::string DebugLogRotationPath(std::string_view target);

DebugLogSettingsSnapshot DebugLogCurrentSettings();

// Test hooks: the clock the log reads (null restores the system clock), and a return to the
// state before the first refresh (file output only, 512 KB, no default path, no viewer).
void DebugLogSetClock(const platform::LogClock* clock);
void DebugLogResetState();
