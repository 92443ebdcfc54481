// The walk thread's worker: walks a directory tree depth first, counts and announces the files
// it examines, and recovers every ransom container it meets, by decryption first and from the
// disk second, reporting each outcome to the run's window.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "decrypt/ransom_decryptor.h"
#include "platform/window.h"
#include "run/messages.h"
#include "undelete/ntfs_undel.h"

class InfectedFileScanner {
public:
    InfectedFileScanner() = default;
    InfectedFileScanner(const InfectedFileScanner&) = delete;
    InfectedFileScanner& operator=(const InfectedFileScanner&) = delete;

    // Makes the scanner ready for a new run: window, folder and engine, counters at zero.
    void Prepare(platform::WindowHandle window, std::string folder,
                 std::shared_ptr<CNtfsUndel> runEngine);

    // Walks `directory` (no trailing separator) and returns the number of files met below it.
    std::uint64_t Walk(const std::string& directory);

    // Handles one file given by its full path.
    void ExamineFile(const std::string& path);

    // Ends a walk in progress at its next entry (the program is closing).
    void RequestStop() { m_stopRequested.store(true, std::memory_order_relaxed); }

    RansomDecryptor& Decryptor() { return decryptor; }

    std::uint64_t scannedCount = 0;
    std::uint64_t infectedCount = 0;
    std::uint64_t recoveredCount = 0;
    std::uint64_t failedCount = 0;
    platform::WindowHandle notifyWindow;
    std::string outputFolder;
    RansomDecryptor decryptor;
    std::shared_ptr<CNtfsUndel> engine;

private:
    void AnnounceFile(const std::string& text, std::uint8_t recovering);
    void SendResult(const std::string& containerPath, const std::string& recoveredPath,
                    RecoveryStatus status);
    // Waits until the disk scan has ended; false when the walk was asked to stop meanwhile.
    bool WaitForDiskScan();

    std::atomic<bool> m_stopRequested{false};
};
