// The deleted-file engine as the run sees it: a scan of the volume's master file table on one
// thread, and a restore of deleted files by name on another once the scan has ended.
//
// This version does not read the disk yet: its scan ends at once and its restore finds
// nothing, so every container that does not decrypt is reported as not recovered.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CNtfsUndel {
public:
    CNtfsUndel() = default;
    virtual ~CNtfsUndel() = default;
    CNtfsUndel(const CNtfsUndel&) = delete;
    CNtfsUndel& operator=(const CNtfsUndel&) = delete;

    // Scans the volume on `device` (a block device or an image file) on the calling thread and
    // ends, however it ends, by publishing progress -1.
    virtual bool ScanVolume(const std::string& device);

    // Writes every deleted file called `name` that can be restored into `outputFolder`, and
    // appends the path of each file written to `restored`, in the order written. Call only
    // after progress has been read as -1.
    virtual bool RestoreByName(const std::string& outputFolder, const std::string& name,
                               std::vector<std::string>& restored);

    // Per mille of the master file table examined; -1 once the scan has ended. Stored with
    // release and loaded with acquire, so that -1 also publishes the scan's results.
    std::atomic<std::int32_t> progress{0};
    // Set to 1 by another thread to end a running scan at its next record.
    std::atomic<std::int32_t> stopRequested{0};

protected:
    void PublishProgress(std::int32_t perMille) {
        progress.store(perMille, std::memory_order_release);
    }
};
