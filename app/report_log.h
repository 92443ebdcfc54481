// The report log of a recovery run: one plain-text file per run that lists every ransom
// container found and what became of it, written line by line through the diagnostic log.
// The files live in the user's report-log folder (platform::ReportLogDirectory()), named like
// the program with a time stamp in place of its extension: for a program undo.exe, a run
// started on 3 March 2021 at 14:05:09.007 logs to und2021-03-03-140509007.log.
#pragma once

#include "platform/log_clock.h"

#include <string>
#include <string_view>
#include <vector>

// The statuses of a recovery result.
constexpr int kReportStatusNotRecovered = 0;
constexpr int kReportStatusDecrypted = 1;
constexpr int kReportStatusRestoredFromDisk = 2;

// The program path's part that starts a log name: everything before the character that
// precedes the last '.'; empty when there is no '.'. For C:/tools/undo.exe, C:/tools/und.
std::string ReportLogPrefix(std::string_view modulePath);

// "YYYY-MM-DD-hhmmssmmm", every field zero-padded.
std::string ReportLogStamp(const platform::LogTime& now);

// `folder`/ + the prefix of the program's file name + the stamp + ".log". An empty folder puts
// the log beside the program: the prefix of the whole program path, then the stamp.
std::string NewReportLogPath(std::string_view folder, std::string_view modulePath,
                             const platform::LogTime& now);

// A new path for this run's log in the user's report-log folder, which is created when
// missing; the file itself is made by the first entry. Uses `clock` for the time stamp.
std::string NewReportLogPath(const platform::LogClock& clock = platform::SystemLogClock());

// The texts of a result's entries, in order: the container, and for a success (`success`
// non-zero) the output file and how it was recovered, else the failure.
std::vector<std::string> ReportEntryTexts(const char* infectedPath, const char* recoveredPath,
                                          int status, int success);

// The container's entry alone, and the entries that follow it, for a caller that updates its
// counters between the two.
void WriteReportContainerEntry(const std::string& logPath, const char* infectedPath);
void WriteReportOutcomeEntries(const std::string& logPath, const char* recoveredPath, int status,
                               int success);

// All entries of one result: two lines for a failure, three for a success.
void WriteReportEntries(const std::string& logPath, const char* infectedPath,
                        const char* recoveredPath, int status, int success);

// Asks the desktop to open the log with the program associated with it; does not wait and
// reports nothing, not even a log that does not exist.
void OpenReportLog(const std::string& logPath);
