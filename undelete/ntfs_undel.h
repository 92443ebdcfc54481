// The deleted-file engine of one recovery run: a scan of the volume's master file table for
// records not in use, on one thread, and the restore of deleted files by name into the output
// folder, on another once the scan has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CNTFSVolume;

class CNtfsUndel {
public:
    CNtfsUndel();
    virtual ~CNtfsUndel();
    CNtfsUndel(const CNtfsUndel&) = delete;
    CNtfsUndel& operator=(const CNtfsUndel&) = delete;

    // Opens the NTFS volume on `device` (a block device, a partition or a disk image; on a disk
    // with a partition table its first NTFS partition) and collects the numbers of its file
    // records from 16 on that are not in use. Runs on the calling thread and ends, however it
    // ends, with progress -1. False when the device does not open as a ready NTFS volume.
    virtual bool ScanVolume(const std::string& device);

    // Writes every deleted file called `name` (compared without regard to case) that can be
    // restored into `outputFolder`, under `name` or a numbered form of it, and appends the path
    // of each file written to `restored`, in the order of the records. Call only after
    // progress has been read as -1.
    virtual bool RestoreByName(const std::string& outputFolder, const std::string& name,
                               std::vector<std::string>& restored);

    // Which partition of a partitioned disk the next scan opens, numbered from 1; 0 (the
    // default) takes the first NTFS partition, or the device itself when it holds no table.
    void SetPartition(int partitionNumber) { m_partition = partitionNumber; }

    // The numbers of the records the last scan found not in use, ascending.
    [[nodiscard]] const std::vector<std::uint64_t>& DeletedRecords() const;
    // The volume of the last scan; null when it did not open.
    [[nodiscard]] const CNTFSVolume* Volume() const;

    // Per mille of the master file table examined; -1 once the scan has ended. Stored with
    // release and loaded with acquire, so that -1 also publishes the scan's results.
    std::atomic<std::int32_t> progress{0};
    // Set to 1 by another thread to end a running scan at its next record; the scan sets it
    // back to 0 when it stops for it.
    std::atomic<std::int32_t> stopRequested{0};

protected:
    void PublishProgress(std::int32_t perMille) {
        progress.store(perMille, std::memory_order_release);
    }

private:
    struct State;
    void BuildNameIndex();

    std::unique_ptr<State> m_state;
    int m_partition = 0;
};
