// The command line's counterpart of the dialog: receives the run's six messages on the main
// thread, keeps the counters, shows progress and one line per result.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/window.h"

struct CliResult {
    std::string container;
    std::uint32_t status = 0;
    std::string output; // empty when not recovered
};

class CliReceiver {
public:
    // `out` receives the result lines; on a terminal the status line updates in place. Every
    // result is also entered in the report log at `reportLogPath` (none when empty).
    CliReceiver(std::FILE* out, bool interactive, std::string reportLogPath = {});

    platform::LRESULT OnMessage(std::uint32_t message, platform::WPARAM wParam,
                                platform::LPARAM lParam);

    [[nodiscard]] bool Ended() const { return m_ended; }
    [[nodiscard]] const std::vector<CliResult>& Results() const { return m_results; }
    [[nodiscard]] std::uint64_t InfectedCount() const { return m_infected; }
    [[nodiscard]] std::uint64_t RecoveredCount() const { return m_recovered; }
    [[nodiscard]] std::uint64_t FailedCount() const { return m_failed; }
    [[nodiscard]] std::uint64_t ScannedCount() const { return m_scanned; }
    [[nodiscard]] const std::string& ReportLogPath() const { return m_reportLogPath; }

    // Clears the status line before something else is printed.
    void ClearStatus();

private:
    void ShowStatus();

    std::FILE* m_out;
    bool m_interactive;
    std::string m_reportLogPath;
    bool m_ended = false;
    bool m_statusShown = false;
    std::uint64_t m_scanned = 0;
    std::uint64_t m_infected = 0;
    std::uint64_t m_recovered = 0;
    std::uint64_t m_failed = 0;
    std::string m_current;
    std::vector<CliResult> m_results;
};

const char* StatusName(std::uint32_t status);
