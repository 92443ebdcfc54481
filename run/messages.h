// The six messages by which the walk thread tells its window about a run, and their payload
// records. Every record travels by pointer in wParam and belongs to the receiver from the send
// on; TakeRecord gives it to the handler as an owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/window.h"

constexpr std::uint32_t WM_SCAN_BEGIN = platform::WM_USER + 600;
constexpr std::uint32_t WM_SCAN_END = platform::WM_USER + 601;
constexpr std::uint32_t WM_SCAN_FILE = platform::WM_USER + 602;
constexpr std::uint32_t WM_RECOVERY_RESULT = platform::WM_USER + 603;
constexpr std::uint32_t WM_DISK_PROGRESS = platform::WM_USER + 604;
constexpr std::uint32_t WM_INFECTED_COUNT = platform::WM_USER + 605;

// Text fields hold at most kEventTextSize - 1 bytes and are always terminated.
constexpr std::size_t kEventTextSize = 1040;

struct ScanFileEvent {
    std::uint64_t scannedCount = 0;
    char path[kEventTextSize] = {};
    std::uint8_t recovering = 0; // 1: the original of the current container is being restored
};

struct CounterEvent {
    std::uint64_t infectedCount = 0;
};

enum RecoveryStatus : std::uint32_t {
    NotRecovered = 0,
    Decrypted = 1,
    RestoredFromDisk = 2,
};

struct RecoveryResult {
    std::uint64_t infectedCount = 0;
    std::uint64_t recoveredCount = 0; // set on success only
    std::uint64_t failedCount = 0;    // set on failure only
    char infectedPath[kEventTextSize] = {};
    char recoveredPath[kEventTextSize] = {};
    std::uint32_t status = NotRecovered;
};

// Zero-fills `field` and copies at most kEventTextSize - 1 bytes of `text` into it.
void CopyEventText(char (&field)[kEventTextSize], std::string_view text);

// The handler's side of the ownership hand-over: the record of a message, or null.
template <class Record> std::unique_ptr<Record> TakeRecord(platform::WPARAM wParam) {
    return std::unique_ptr<Record>(reinterpret_cast<Record*>(wParam));
}
