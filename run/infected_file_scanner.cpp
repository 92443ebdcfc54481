// The walk, the triage of each container and the messages that report them.
#include "run/infected_file_scanner.h"

#include <vector>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "run/messages.h"

namespace {

// The time of the last throttled announcement, for the whole process: the first file of a new
// run is announced only when the interval has passed since the previous run's last one.
std::atomic<std::uint32_t> g_lastScanFileTick{0};

// Announcements are synchronous and make the walk wait for the window to redraw, so files in
// between are only counted.
constexpr std::uint32_t kScanFileIntervalMs = 50;
constexpr std::uint32_t kDiskScanPollMs = 1000;
constexpr std::int32_t kScanEnded = -1;

// Sends a record and hands it over; when the window is gone the record comes back and is freed.
template <class Record>
void SendRecord(const platform::WindowHandle& window, std::uint32_t message,
                std::unique_ptr<Record> record, platform::LPARAM lParam = 0) {
    Record* raw = record.release();
    if (!platform::SendMessageA(window, message, reinterpret_cast<platform::WPARAM>(raw), lParam)) {
        delete raw;
    }
}

} // namespace

void InfectedFileScanner::Prepare(platform::WindowHandle window, std::string folder,
                                  std::shared_ptr<CNtfsUndel> runEngine) {
    notifyWindow = std::move(window);
    outputFolder = std::move(folder);
    scannedCount = infectedCount = recoveredCount = failedCount = 0;
    engine = std::move(runEngine);
    m_stopRequested.store(false, std::memory_order_relaxed);
}

std::uint64_t InfectedFileScanner::Walk(const std::string& directory) {
    platform::DirectoryEnumeration listing;
    if (!listing.Open(directory.empty() ? std::string(1, platform::kPathSeparator) : directory)) {
        return 0;
    }
    const auto& codePage = platform::ActiveCodePage();
    std::uint64_t count = 0;
    platform::DirectoryEntry entry;
    while (!m_stopRequested.load(std::memory_order_relaxed) && listing.Next(entry)) {
        if (entry.name == "." || entry.name == ".." ||
            codePage.EqualsNoCase(entry.name, "RECYCLER")) {
            continue;
        }
        // Paths that do not fit the run's 1040-byte text fields are skipped whole.
        if (directory.size() + 1 + entry.name.size() > platform::kMaxWalkPathBytes) {
            continue;
        }
        std::string path = directory + platform::kPathSeparator + entry.name;
        if (entry.isDirectory) {
            count += Walk(path);
        } else {
            ++count;
            ExamineFile(path);
        }
    }
    return count;
}

void InfectedFileScanner::AnnounceFile(const std::string& text, std::uint8_t recovering) {
    auto event = std::make_unique<ScanFileEvent>();
    event->scannedCount = scannedCount;
    CopyEventText(event->path, text);
    event->recovering = recovering;
    SendRecord(notifyWindow, WM_SCAN_FILE, std::move(event));
}

void InfectedFileScanner::SendResult(const std::string& containerPath,
                                     const std::string& recoveredPath, RecoveryStatus status) {
    auto result = std::make_unique<RecoveryResult>();
    const bool success = status != NotRecovered;
    result->infectedCount = infectedCount;
    result->recoveredCount = success ? recoveredCount : 0;
    result->failedCount = success ? 0 : failedCount;
    CopyEventText(result->infectedPath, containerPath);
    CopyEventText(result->recoveredPath, recoveredPath);
    result->status = status;
    std::int32_t successFlag = success ? 1 : 0;
    SendRecord(notifyWindow, WM_RECOVERY_RESULT, std::move(result),
               reinterpret_cast<platform::LPARAM>(&successFlag));
}

bool InfectedFileScanner::WaitForDiskScan() {
    std::int32_t value = engine->progress.load(std::memory_order_acquire);
    while (value != kScanEnded) {
        if (m_stopRequested.load(std::memory_order_relaxed)) {
            return false; // the scan's results are not complete: they must not be read
        }
        platform::Sleep(kDiskScanPollMs);
        platform::SendMessageA(notifyWindow, WM_DISK_PROGRESS, static_cast<platform::WPARAM>(value),
                               0);
        value = engine->progress.load(std::memory_order_acquire);
    }
    return true;
}

void InfectedFileScanner::ExamineFile(const std::string& path) {
    const auto& codePage = platform::ActiveCodePage();
    std::size_t dot = codePage.FindLast(path, '.');
    if (dot == platform::AnsiCodePage::npos || dot == 0) {
        return;
    }
    const std::string_view extension = std::string_view(path).substr(dot);
    const std::string stem = path.substr(0, dot);

    if (notifyWindow) {
        ++scannedCount;
        if (platform::GetTickCount() - g_lastScanFileTick.load(std::memory_order_relaxed) >
            kScanFileIntervalMs) {
            g_lastScanFileTick.store(platform::GetTickCount(), std::memory_order_relaxed);
            AnnounceFile(path, 0);
        }
    }

    if (!codePage.EqualsNoCase(extension, ".WNCRY")) {
        return;
    }
    ++infectedCount;
    auto counter = std::make_unique<CounterEvent>();
    counter->infectedCount = infectedCount;
    SendRecord(notifyWindow, WM_INFECTED_COUNT, std::move(counter));

    std::string decrypted = decryptor.DecryptContainer(path, outputFolder);
    if (!decrypted.empty()) {
        ++recoveredCount;
        SendResult(path, decrypted, Decrypted);
        return;
    }

    if (!engine) {
        ++failedCount;
        SendResult(path, {}, NotRecovered);
        return;
    }

    if (!WaitForDiskScan()) {
        return;
    }

    std::size_t separator = codePage.FindLast(stem, platform::kPathSeparator);
    const std::string bareName =
        separator == platform::AnsiCodePage::npos ? stem : stem.substr(separator + 1);
    AnnounceFile(bareName, 1);

    std::vector<std::string> restored;
    engine->RestoreByName(outputFolder, bareName, restored);
    if (restored.empty()) {
        ++failedCount;
        SendResult(path, {}, NotRecovered);
        return;
    }
    for (const std::string& written : restored) {
        ++recoveredCount;
        SendResult(path, written, RestoredFromDisk);
    }
}
