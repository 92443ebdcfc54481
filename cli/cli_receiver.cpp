// Counters, the live status line and the result lines of docsalve-cli.
#include "cli/cli_receiver.h"

#include "app/report_log.h"
#include "run/messages.h"

const char* StatusName(std::uint32_t status) {
    switch (status) {
    case Decrypted:
        return "decrypted";
    case RestoredFromDisk:
        return "restored";
    default:
        return "not_recovered";
    }
}

CliReceiver::CliReceiver(std::FILE* out, bool interactive, std::string reportLogPath)
    : m_out(out), m_interactive(interactive), m_reportLogPath(std::move(reportLogPath)) {}

void CliReceiver::ClearStatus() {
    if (m_interactive && m_statusShown) {
        std::fputs("\r\033[K", m_out);
        m_statusShown = false;
    }
}

void CliReceiver::ShowStatus() {
    if (!m_interactive) {
        return;
    }
    std::string current = m_current;
    constexpr std::size_t kShownTail = 60;
    if (current.size() > kShownTail) {
        current = "..." + current.substr(current.size() - kShownTail);
    }
    std::fprintf(m_out, "\r\033[Kexamined %llu  containers %llu  recovered %llu  failed %llu  %s",
                 static_cast<unsigned long long>(m_scanned),
                 static_cast<unsigned long long>(m_infected),
                 static_cast<unsigned long long>(m_recovered),
                 static_cast<unsigned long long>(m_failed), current.c_str());
    std::fflush(m_out);
    m_statusShown = true;
}

platform::LRESULT CliReceiver::OnMessage(std::uint32_t message, platform::WPARAM wParam,
                                         platform::LPARAM lParam) {
    switch (message) {
    case WM_SCAN_BEGIN:
        m_scanned = m_infected = m_recovered = m_failed = 0;
        m_ended = false;
        break;
    case WM_SCAN_END:
        ClearStatus();
        m_ended = true;
        break;
    case WM_SCAN_FILE:
        if (auto event = TakeRecord<ScanFileEvent>(wParam)) {
            m_scanned = event->scannedCount;
            m_current = event->recovering ? std::string("restoring from disk: ") + event->path
                                          : std::string(event->path);
            ShowStatus();
        }
        break;
    case WM_DISK_PROGRESS: {
        char text[64];
        std::snprintf(text, sizeof text, "waiting for the disk scan: %.1f%%",
                      static_cast<double>(static_cast<std::int32_t>(wParam)) / 10.0);
        m_current = text;
        if (m_interactive) {
            ShowStatus();
        } else {
            std::fprintf(m_out, "%s\n", text);
        }
        break;
    }
    case WM_INFECTED_COUNT:
        if (auto event = TakeRecord<CounterEvent>(wParam)) {
            m_infected = event->infectedCount;
            ShowStatus();
        }
        break;
    case WM_RECOVERY_RESULT:
        if (auto result = TakeRecord<RecoveryResult>(wParam)) {
            const bool success = lParam != 0 && *reinterpret_cast<const std::int32_t*>(lParam) != 0;
            if (success) {
                m_recovered = result->recoveredCount;
            } else {
                m_failed = result->failedCount;
            }
            m_infected = result->infectedCount;
            if (!m_reportLogPath.empty()) {
                WriteReportEntries(m_reportLogPath, result->infectedPath, result->recoveredPath,
                                   static_cast<int>(result->status), success ? 1 : 0);
            }
            ClearStatus();
            if (success) {
                std::fprintf(m_out, "%-13s %s -> %s\n", StatusName(result->status),
                             result->infectedPath, result->recoveredPath);
            } else {
                std::fprintf(m_out, "%-13s %s\n", "NOT RECOVERED", result->infectedPath);
            }
            std::fflush(m_out);
            m_results.push_back({result->infectedPath, result->status,
                                 success ? std::string(result->recoveredPath) : std::string()});
            ShowStatus();
        }
        break;
    default:
        break;
    }
    return 0;
}
