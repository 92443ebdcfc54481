// PartitionTable: finds the NTFS volume on a whole-disk image or disk (MBR or GPT), or takes a
// bare volume image as it is.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {
class RawDevice;
}

class PartitionTable {
public:
    // Partition numbers as users know them: MBR primaries 1-4, logical partitions from 5 in
    // chain order, GPT entries from 1 in table order.
    struct Entry {
        int number = 0;
        std::uint64_t offset = 0; // bytes from the start of the device
        std::uint64_t length = 0; // bytes
        std::uint8_t mbrType = 0; // 0 for a GPT entry
        bool gpt = false;
    };

    // Picks the first partition whose boot sector is NTFS.
    static constexpr int kFirstNtfs = 0;

    // The partitions of the device's MBR or GPT; empty when it has no partition table (a bare
    // volume image) or the table cannot be read.
    static std::vector<Entry> ReadPartitions(const platform::RawDevice& device);

    // Byte offset of the volume to open: for kFirstNtfs, 0 when the device itself starts with
    // an NTFS boot sector, else the first NTFS partition; otherwise the partition with that
    // number, whatever it holds. Nothing when there is no such volume or partition.
    static std::optional<std::uint64_t> LocateVolume(const platform::RawDevice& device,
                                                     int partitionNumber);

    // Whether the 512 bytes at `offset` start with the NTFS boot sector's OEM identifier.
    static bool HasNtfsBootSector(const platform::RawDevice& device, std::uint64_t offset);
};
