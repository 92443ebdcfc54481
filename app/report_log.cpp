// Naming, writing and opening the report log.
#include "app/report_log.h"

#include "diaglog/debug_log.h"
#include "platform/shell_open.h"
#include "platform/user_paths.h"

#include <cstdio>

namespace {

// The entry texts. They are shown to the user as they stand; paths are the bytes the run
// reported.
constexpr const char* kInfectedFormat = "被感染文件 %s";
constexpr const char* kRecoveredToFormat = "文件恢复到 %s";
constexpr const char* kDecryptedText = "解密恢复成功！";
constexpr const char* kRestoredText = "从磁盘恢复成功！";
constexpr const char* kRecoveredText = "恢复成功！";
constexpr const char* kFailedText = "恢复失败！";

// The program path as the system gives it, in a buffer of this size.
constexpr std::size_t kModulePathCapacity = 261;

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

const char* OutcomeText(int status, int success) {
    if (success == 0) {
        return kFailedText;
    }
    if (status == kReportStatusDecrypted) {
        return kDecryptedText;
    }
    if (status == kReportStatusRestoredFromDisk) {
        return kRestoredText;
    }
    return kRecoveredText;
}

std::string Format(const char* format, const char* argument) {
    const int n = std::snprintf(nullptr, 0, format, argument);
    if (n <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, argument);
    text.resize(static_cast<std::size_t>(n));
    return text;
}

} // namespace

std::string ReportLogPrefix(std::string_view modulePath) {
    const std::size_t dot = modulePath.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    // The character before the '.' goes too; in UTF-8 it may take several bytes, and cutting
    // only its last one would leave a broken name.
    std::size_t cut = dot - 1;
    while (cut > 0 && (static_cast<unsigned char>(modulePath[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return std::string(modulePath.substr(0, cut));
}

std::string ReportLogStamp(const platform::LogTime& now) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d-%02d%02d%02d%03d", now.year, now.month,
                  now.day, now.hour, now.minute, now.second, now.millisecond);
    return stamp;
}

std::string NewReportLogPath(std::string_view folder, std::string_view modulePath,
                             const platform::LogTime& now) {
    if (folder.empty()) {
        return ReportLogPrefix(modulePath) + ReportLogStamp(now) + ".log";
    }
    const std::size_t slash = modulePath.rfind('/');
    const std::string_view fileName =
        slash == std::string_view::npos ? modulePath : modulePath.substr(slash + 1);
    std::string path(folder);
    if (path.back() != '/') {
        path += '/';
    }
    return path + ReportLogPrefix(fileName) + ReportLogStamp(now) + ".log";
}

std::string NewReportLogPath(const platform::LogClock& clock) {
    char module[kModulePathCapacity];
    const std::uint32_t n = platform::GetModuleFileNameA(module, sizeof module);
    std::string folder = platform::ReportLogDirectory();
    // Without a folder of its own the log goes beside the program, where it may not be
    // writable; that loses the log, never the run.
    if (!folder.empty() && !platform::CreateDirectories(folder)) {
        folder.clear();
    }
    return NewReportLogPath(folder, std::string_view(module, n), clock.Now());
}

std::vector<std::string> ReportEntryTexts(const char* infectedPath, const char* recoveredPath,
                                          int status, int success) {
    std::vector<std::string> texts;
    texts.push_back(Format(kInfectedFormat, OrEmpty(infectedPath)));
    if (success != 0) {
        texts.push_back(Format(kRecoveredToFormat, OrEmpty(recoveredPath)));
    }
    texts.emplace_back(OutcomeText(status, success));
    return texts;
}

void WriteReportContainerEntry(const std::string& logPath, const char* infectedPath) {
    DebugLogPrint(logPath.c_str(), kInfectedFormat, OrEmpty(infectedPath));
}

void WriteReportOutcomeEntries(const std::string& logPath, const char* recoveredPath, int status,
                               int success) {
    if (success != 0) {
        DebugLogPrint(logPath.c_str(), kRecoveredToFormat, OrEmpty(recoveredPath));
    }
    DebugLogPrint(logPath.c_str(), "%s", OutcomeText(status, success));
}

void WriteReportEntries(const std::string& logPath, const char* infectedPath,
                        const char* recoveredPath, int status, int success) {
    WriteReportContainerEntry(logPath, infectedPath);
    WriteReportOutcomeEntries(logPath, recoveredPath, status, success);
}

void OpenReportLog(const std::string& logPath) {
    platform::ShellOpenFile(logPath);
}
