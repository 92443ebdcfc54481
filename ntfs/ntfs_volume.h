// CNTFSVolume: one NTFS volume opened read-only through a block device or an image file, with
// its geometry, its version and record 0 of its master file table.
#pragma once

#include "ntfs/partition_table.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {
class RawDevice;
}
class CAttrBase;
class CFileRecord;

class CNTFSVolume {
public:
    // Opens `devicePath` (a disk, a partition or an image file) read-only. On a device with a
    // partition table the volume is partition `partitionNumber`, or the first NTFS partition
    // for PartitionTable::kFirstNtfs; a bare volume image is used as it is. There is no error
    // result: ask IsReady().
    explicit CNTFSVolume(const std::string& devicePath,
                         int partitionNumber = PartitionTable::kFirstNtfs);
    virtual ~CNTFSVolume();
    CNTFSVolume(const CNTFSVolume&) = delete;
    CNTFSVolume& operator=(const CNTFSVolume&) = delete;

    // The boot sector passed, the geometry is sane and the NTFS version is 3.0 or later.
    [[nodiscard]] bool IsReady() const { return m_ready; }

    [[nodiscard]] std::uint16_t SectorSize() const { return m_sectorSize; }
    [[nodiscard]] std::uint32_t ClusterSize() const { return m_clusterSize; }
    [[nodiscard]] std::uint32_t RecordSize() const { return m_recordSize; }
    [[nodiscard]] std::uint32_t IndexBlockSize() const { return m_indexBlockSize; }
    // Byte offset of the master file table from the start of the volume.
    [[nodiscard]] std::uint64_t MftOffset() const { return m_mftOffset; }
    // Byte offset of the volume from the start of the device (the partition's start).
    [[nodiscard]] std::uint64_t VolumeStart() const { return m_volumeStart; }
    // Major × 256 + minor; 0 until read.
    [[nodiscard]] std::uint16_t Version() const { return m_version; }
    // The raw device; null when it is not open.
    [[nodiscard]] const platform::RawDevice* Device() const { return m_device.get(); }
    // The first $DATA attribute of record 0: the master file table's own data. Null when
    // record 0 could not be read or has none.
    [[nodiscard]] CAttrBase* MftData() const { return m_mftData; }
    [[nodiscard]] CFileRecord* MftRecord() const { return m_mftRecord.get(); }

    // Exactly `length` bytes at byte `offset` of the volume, or false.
    bool ReadVolumeBytes(std::uint64_t offset, void* buffer, std::uint32_t length) const;

private:
    bool OpenDevice(const std::string& devicePath, int partitionNumber);

    std::uint16_t m_sectorSize = 0;
    std::uint32_t m_clusterSize = 0;
    std::uint32_t m_recordSize = 0;
    std::uint32_t m_indexBlockSize = 0;
    std::uint64_t m_mftOffset = 0;
    std::unique_ptr<platform::RawDevice> m_device;
    std::uint64_t m_volumeStart = 0;
    bool m_ready = false;
    std::uint16_t m_version = 0;
    std::unique_ptr<CFileRecord> m_mftRecord;
    CAttrBase* m_mftData = nullptr; // owned by m_mftRecord's $DATA list
};
