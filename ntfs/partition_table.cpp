// MBR and GPT partition tables, read only as far as needed to find a volume.
#include "ntfs/partition_table.h"

#include "platform/le_reader.h"
#include "platform/raw_device.h"

#include <array>
#include <cstring>

namespace {

constexpr std::uint32_t kMbrSectorSize = 512;
constexpr std::size_t kMbrEntriesOffset = 0x1BE;
constexpr std::size_t kMbrEntrySize = 16;
constexpr std::size_t kMbrEntryTypeOffset = 4;
constexpr std::size_t kMbrEntryStartOffset = 8;
constexpr std::size_t kMbrEntryCountOffset = 12;
constexpr std::size_t kBootSignatureOffset = 0x1FE;
constexpr std::uint16_t kBootSignature = 0xAA55;
constexpr std::uint8_t kGptProtectiveType = 0xEE;
// A chain of extended boot records longer than this is a loop on a damaged disk.
constexpr int kMaxLogicalPartitions = 128;

constexpr std::size_t kOemIdOffset = 3;
constexpr char kNtfsOemId[] = "NTFS    ";

constexpr char kGptSignature[] = "EFI PART";
constexpr std::size_t kGptEntriesLbaOffset = 0x48;
constexpr std::size_t kGptEntryCountOffset = 0x50;
constexpr std::size_t kGptEntrySizeOffset = 0x54;
constexpr std::size_t kGptEntryFirstLbaOffset = 0x20;
constexpr std::size_t kGptEntryLastLbaOffset = 0x28;
constexpr std::size_t kGptTypeGuidSize = 16;
// The usual table has 128 entries of 128 bytes; these bounds keep a damaged header from asking
// for an absurd read.
constexpr std::uint32_t kMaxGptEntries = 1024;
constexpr std::uint32_t kMinGptEntrySize = 128;
constexpr std::uint32_t kMaxGptEntrySize = 4096;

bool IsExtendedType(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

bool ReadSector(const platform::RawDevice& device, std::uint64_t offset,
                std::array<std::uint8_t, kMbrSectorSize>& sector) {
    return device.ReadAt(offset, sector.data(), kMbrSectorSize);
}

bool HasBootSignature(const std::array<std::uint8_t, kMbrSectorSize>& sector) {
    return platform::LeReader(sector).At<std::uint16_t>(kBootSignatureOffset) == kBootSignature;
}

bool Multiply(std::uint64_t a, std::uint64_t b, std::uint64_t& out) {
    return !__builtin_mul_overflow(a, b, &out);
}

void ReadLogicalPartitions(const platform::RawDevice& device, std::uint64_t extendedStart,
                           std::vector<PartitionTable::Entry>& out) {
    std::uint64_t ebrLba = extendedStart;
    std::array<std::uint8_t, kMbrSectorSize> sector{};
    for (int i = 0; i < kMaxLogicalPartitions; ++i) {
        std::uint64_t ebrOffset = 0;
        if (!Multiply(ebrLba, kMbrSectorSize, ebrOffset) ||
            !ReadSector(device, ebrOffset, sector) || !HasBootSignature(sector)) {
            return;
        }
        const platform::LeReader reader(sector);
        const std::size_t first = kMbrEntriesOffset;
        const std::size_t second = kMbrEntriesOffset + kMbrEntrySize;
        const auto type = *reader.At<std::uint8_t>(first + kMbrEntryTypeOffset);
        const auto start = *reader.At<std::uint32_t>(first + kMbrEntryStartOffset);
        const auto count = *reader.At<std::uint32_t>(first + kMbrEntryCountOffset);
        std::uint64_t offset = 0;
        if (type != 0 && count != 0 && Multiply(ebrLba + start, kMbrSectorSize, offset)) {
            out.push_back({5 + i, offset, std::uint64_t{count} * kMbrSectorSize, type, false});
        }
        const auto next = *reader.At<std::uint32_t>(second + kMbrEntryStartOffset);
        if (!IsExtendedType(*reader.At<std::uint8_t>(second + kMbrEntryTypeOffset)) || next == 0) {
            return;
        }
        ebrLba = extendedStart + next; // links are relative to the extended partition's start
    }
}

bool ReadGpt(const platform::RawDevice& device, std::vector<PartitionTable::Entry>& out) {
    // The header sits in logical block 1, whose size is 512 or 4096 bytes.
    for (const std::uint32_t blockSize : {512u, 4096u}) {
        std::array<std::uint8_t, kMbrSectorSize> header{};
        if (!ReadSector(device, blockSize, header) ||
            std::memcmp(header.data(), kGptSignature, 8) != 0) {
            continue;
        }
        const platform::LeReader reader(header);
        const std::uint64_t entriesLba = *reader.At<std::uint64_t>(kGptEntriesLbaOffset);
        const std::uint32_t count = *reader.At<std::uint32_t>(kGptEntryCountOffset);
        const std::uint32_t entrySize = *reader.At<std::uint32_t>(kGptEntrySizeOffset);
        std::uint64_t tableOffset = 0;
        if (count == 0 || count > kMaxGptEntries || entrySize < kMinGptEntrySize ||
            entrySize > kMaxGptEntrySize || !Multiply(entriesLba, blockSize, tableOffset)) {
            return false;
        }
        std::vector<std::uint8_t> table(std::size_t{count} * entrySize);
        if (!device.ReadAt(tableOffset, table.data(), static_cast<std::uint32_t>(table.size()))) {
            return false;
        }
        const platform::LeReader tableReader(table);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = std::size_t{i} * entrySize;
            const auto guid = *tableReader.Bytes(at, kGptTypeGuidSize);
            bool unused = true;
            for (const std::uint8_t b : guid) {
                unused = unused && b == 0;
            }
            const std::uint64_t firstLba =
                *tableReader.At<std::uint64_t>(at + kGptEntryFirstLbaOffset);
            const std::uint64_t lastLba =
                *tableReader.At<std::uint64_t>(at + kGptEntryLastLbaOffset);
            std::uint64_t offset = 0;
            std::uint64_t length = 0;
            if (unused || lastLba < firstLba || !Multiply(firstLba, blockSize, offset) ||
                !Multiply(lastLba - firstLba + 1, blockSize, length)) {
                continue;
            }
            out.push_back({static_cast<int>(i) + 1, offset, length, 0, true});
        }
        return true;
    }
    return false;
}

} // namespace

bool PartitionTable::HasNtfsBootSector(const platform::RawDevice& device, std::uint64_t offset) {
    std::array<std::uint8_t, kMbrSectorSize> sector{};
    return ReadSector(device, offset, sector) &&
           std::memcmp(sector.data() + kOemIdOffset, kNtfsOemId, 8) == 0;
}

std::vector<PartitionTable::Entry>
PartitionTable::ReadPartitions(const platform::RawDevice& device) {
    std::vector<Entry> out;
    std::array<std::uint8_t, kMbrSectorSize> mbr{};
    if (!ReadSector(device, 0, mbr) || !HasBootSignature(mbr) ||
        std::memcmp(mbr.data() + kOemIdOffset, kNtfsOemId, 8) == 0) {
        return out; // no table, or a volume boot sector rather than a master boot record
    }
    const platform::LeReader reader(mbr);
    bool protectiveGpt = false;
    for (int i = 0; i < 4; ++i) {
        const std::size_t at = kMbrEntriesOffset + std::size_t(i) * kMbrEntrySize;
        const auto type = *reader.At<std::uint8_t>(at + kMbrEntryTypeOffset);
        const auto start = *reader.At<std::uint32_t>(at + kMbrEntryStartOffset);
        const auto count = *reader.At<std::uint32_t>(at + kMbrEntryCountOffset);
        if (type == kGptProtectiveType) {
            protectiveGpt = true;
        }
        if (type == 0 || count == 0) {
            continue;
        }
        out.push_back({i + 1, std::uint64_t{start} * kMbrSectorSize,
                       std::uint64_t{count} * kMbrSectorSize, type, false});
    }
    if (protectiveGpt) {
        std::vector<Entry> gpt;
        if (ReadGpt(device, gpt)) {
            return gpt;
        }
        return {};
    }
    const std::vector<Entry> primaries = out;
    for (const Entry& entry : primaries) {
        if (IsExtendedType(entry.mbrType)) {
            ReadLogicalPartitions(device, entry.offset / kMbrSectorSize, out);
            break; // an MBR has at most one extended partition
        }
    }
    return out;
}

std::optional<std::uint64_t> PartitionTable::LocateVolume(const platform::RawDevice& device,
                                                          int partitionNumber) {
    if (partitionNumber == kFirstNtfs && HasNtfsBootSector(device, 0)) {
        return 0;
    }
    for (const Entry& entry : ReadPartitions(device)) {
        if (partitionNumber == kFirstNtfs) {
            if (!IsExtendedType(entry.mbrType) && HasNtfsBootSector(device, entry.offset)) {
                return entry.offset;
            }
        } else if (entry.number == partitionNumber) {
            return entry.offset;
        }
    }
    return std::nullopt;
}
