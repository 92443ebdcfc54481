// Opening a volume: boot sector, geometry, version, and record 0.
#include "ntfs/ntfs_volume.h"

#include "ntfs/attr_base.h"
#include "ntfs/attr_header.h"
#include "ntfs/attr_vol_info.h"
#include "ntfs/file_record.h"
#include "platform/le_reader.h"
#include "platform/raw_device.h"

#include <array>
#include <cstring>
#include <optional>

namespace {

constexpr std::uint32_t kBootSectorSize = 512;
constexpr std::size_t kOemIdOffset = 3;
constexpr char kNtfsOemId[] = "NTFS    ";
constexpr std::size_t kBytesPerSectorOffset = 0x0B;
constexpr std::size_t kSectorsPerClusterOffset = 0x0D;
constexpr std::size_t kMftClusterOffset = 0x30;
constexpr std::size_t kRecordSizeOffset = 0x40;
constexpr std::size_t kIndexBlockSizeOffset = 0x44;

// Sector sizes that NTFS is formatted with.
constexpr std::uint16_t kMinSectorSize = 256;
constexpr std::uint16_t kMaxSectorSize = 4096;
// Windows formats clusters of up to 2 MB; anything larger is a damaged boot sector, and every
// non-resident attribute holds a buffer of one cluster.
constexpr std::uint32_t kMaxClusterSize = 2u * 1024 * 1024;
// Update sequence and attribute offsets in a record are 16-bit.
constexpr std::uint32_t kMaxRecordSize = 64u * 1024;
// A size byte of 0 or below means 2^-v bytes; below -31 the shift leaves 32 bits.
constexpr int kMinSizeExponentByte = -31;
// Above this the sectors-per-cluster byte is an exponent: 2^(256 - v) sectors. Volumes with
// clusters of 128 KB to 2 MB are stored that way.
constexpr std::uint8_t kSectorsPerClusterExponentFrom = 0x80;

constexpr std::uint16_t kMinVersion = 0x0300;
constexpr std::uint64_t kVolumeRecord = 3;
constexpr std::uint64_t kMftRecord = 0;
constexpr std::uint32_t kVolumeRecordMask = 0x63;
constexpr std::uint32_t kMftRecordMask = 0x83;

bool IsPowerOfTwo(std::uint64_t v) {
    return v != 0 && (v & (v - 1)) == 0;
}

// The size rule of the record and index block size bytes. Nothing for a shift beyond 31 bits
// or a product that leaves 32 bits.
std::optional<std::uint32_t> SizeFromByte(std::uint8_t raw, std::uint32_t clusterSize) {
    const auto v = static_cast<std::int8_t>(raw);
    if (v > 0) {
        const std::uint64_t size = std::uint64_t(v) * clusterSize;
        if (size > UINT32_MAX) {
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(size);
    }
    if (v < kMinSizeExponentByte) {
        return std::nullopt;
    }
    return std::uint32_t{1} << -v;
}

} // namespace

CNTFSVolume::CNTFSVolume(const std::string& devicePath, int partitionNumber) {
    if (!OpenDevice(devicePath, partitionNumber)) {
        return;
    }
    {
        CFileRecord volumeRecord(this);
        volumeRecord.SetAttrMask(kVolumeRecordMask);
        if (!volumeRecord.LoadRecord(kVolumeRecord)) {
            return;
        }
        (void)volumeRecord.ParseAttributes();
        auto* info = dynamic_cast<CAttr_VolInfo*>(
            volumeRecord.AttrList((attr_header::kVolumeInformation >> 4) - 1).First());
        if (info == nullptr) {
            return;
        }
        m_version = info->VolumeVersion();
    }
    if (m_version < kMinVersion) {
        return;
    }
    m_ready = true;
    m_mftRecord = std::make_unique<CFileRecord>(this);
    m_mftRecord->SetAttrMask(kMftRecordMask);
    if (!m_mftRecord->LoadRecord(kMftRecord)) {
        return;
    }
    (void)m_mftRecord->ParseAttributes();
    m_mftData = m_mftRecord->AttrList((attr_header::kData >> 4) - 1).First();
    if (m_mftData == nullptr) {
        m_mftRecord.reset();
    }
}

CNTFSVolume::~CNTFSVolume() {
    m_mftData = nullptr;
    m_mftRecord.reset(); // its attributes read through the device, so they go first
}

bool CNTFSVolume::ReadVolumeBytes(std::uint64_t offset, void* buffer, std::uint32_t length) const {
    if (!m_device || offset > UINT64_MAX - m_volumeStart) {
        return false;
    }
    return m_device->ReadAt(m_volumeStart + offset, buffer, length);
}

bool CNTFSVolume::OpenDevice(const std::string& devicePath, int partitionNumber) {
    auto device = platform::RawDevice::OpenReadOnly(devicePath);
    if (!device) {
        return false;
    }
    const auto start = PartitionTable::LocateVolume(*device, partitionNumber);
    if (!start) {
        return false;
    }
    std::array<std::uint8_t, kBootSectorSize> boot{};
    if (!device->ReadAt(*start, boot.data(), kBootSectorSize) ||
        std::memcmp(boot.data() + kOemIdOffset, kNtfsOemId, 8) != 0) {
        return false;
    }
    const platform::LeReader reader(boot);
    const std::uint16_t sectorSize = *reader.At<std::uint16_t>(kBytesPerSectorOffset);
    const std::uint8_t sectorsPerClusterByte = *reader.At<std::uint8_t>(kSectorsPerClusterOffset);
    const std::uint64_t mftCluster = *reader.At<std::uint64_t>(kMftClusterOffset);
    if (sectorSize < kMinSectorSize || sectorSize > kMaxSectorSize || !IsPowerOfTwo(sectorSize) ||
        sectorsPerClusterByte == 0) {
        return false;
    }
    std::uint64_t sectorsPerCluster = sectorsPerClusterByte;
    if (sectorsPerClusterByte > kSectorsPerClusterExponentFrom) {
        const unsigned exponent = 256u - sectorsPerClusterByte;
        if (exponent > 31) {
            return false;
        }
        sectorsPerCluster = std::uint64_t{1} << exponent;
    }
    const std::uint64_t clusterSize = sectorsPerCluster * sectorSize;
    if (clusterSize > kMaxClusterSize || !IsPowerOfTwo(clusterSize)) {
        return false;
    }
    const auto recordSize = SizeFromByte(*reader.At<std::uint8_t>(kRecordSizeOffset),
                                         static_cast<std::uint32_t>(clusterSize));
    const auto indexBlockSize = SizeFromByte(*reader.At<std::uint8_t>(kIndexBlockSizeOffset),
                                             static_cast<std::uint32_t>(clusterSize));
    // A record holds whole sectors, each ending in an update sequence slot.
    if (!recordSize || *recordSize < sectorSize || *recordSize > kMaxRecordSize ||
        *recordSize % sectorSize != 0 || !indexBlockSize || *indexBlockSize == 0 ||
        mftCluster > UINT64_MAX / clusterSize) {
        return false;
    }
    m_sectorSize = sectorSize;
    m_clusterSize = static_cast<std::uint32_t>(clusterSize);
    m_recordSize = *recordSize;
    m_indexBlockSize = *indexBlockSize;
    m_mftOffset = mftCluster * clusterSize;
    m_volumeStart = *start;
    m_device = std::move(device);
    return true;
}
