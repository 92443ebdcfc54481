// Byte-by-byte NTFS volume images for the reader's tests and fuzz seeds.
#include "tests/ntfs/image_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <sys/mman.h>
#include <unistd.h>

namespace ntfs_test {

namespace {

void Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    for (int i = 0; i < 2; ++i) {
        b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
void Put64(Bytes& b, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
    }
}
std::size_t Align8(std::size_t v) {
    return (v + 7) & ~std::size_t{7};
}

unsigned UnsignedBytes(std::uint64_t v) {
    unsigned n = 1;
    while (n < 8 && (v >> (8 * n)) != 0) {
        ++n;
    }
    return n;
}
unsigned SignedBytes(std::int64_t v) {
    for (unsigned n = 1; n < 8; ++n) {
        const std::int64_t lo = -(std::int64_t{1} << (8 * n - 1));
        const std::int64_t hi = (std::int64_t{1} << (8 * n - 1)) - 1;
        if (v >= lo && v <= hi) {
            return n;
        }
    }
    return 8;
}

} // namespace

Bytes EncodeRuns(const std::vector<Run>& runs) {
    Bytes out;
    std::int64_t previous = 0;
    for (const Run& run : runs) {
        const unsigned l = UnsignedBytes(run.clusters);
        unsigned f = 0;
        std::int64_t delta = 0;
        if (run.lcn) {
            delta = *run.lcn - previous;
            f = SignedBytes(delta);
            previous = *run.lcn;
        }
        out.push_back(static_cast<std::uint8_t>((f << 4) | l));
        for (unsigned i = 0; i < l; ++i) {
            out.push_back(static_cast<std::uint8_t>(run.clusters >> (8 * i)));
        }
        for (unsigned i = 0; i < f; ++i) {
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(delta) >> (8 * i)));
        }
    }
    out.push_back(0);
    return out;
}

Bytes Utf16(const std::string& text) {
    Bytes out;
    for (const char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    return out;
}

Attribute ResidentAttribute(std::uint32_t type, const Bytes& value, const std::string& name) {
    const Bytes wideName = Utf16(name);
    const std::size_t valueOffset = Align8(0x18 + wideName.size());
    Bytes b(Align8(valueOffset + value.size()), 0);
    Put32(b, 0x00, type);
    Put32(b, 0x04, static_cast<std::uint32_t>(b.size()));
    b[0x08] = 0;
    b[0x09] = static_cast<std::uint8_t>(name.size());
    Put16(b, 0x0A, 0x18);
    Put32(b, 0x10, static_cast<std::uint32_t>(value.size()));
    Put16(b, 0x14, static_cast<std::uint16_t>(valueOffset));
    std::copy(wideName.begin(), wideName.end(), b.begin() + 0x18);
    std::copy(value.begin(), value.end(), b.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    return {type, b};
}

Attribute NonResidentAttribute(std::uint32_t type, const Bytes& runs, std::uint64_t startVcn,
                               std::uint64_t lastVcn, std::uint64_t allocatedSize,
                               std::uint64_t dataSize, const std::string& name) {
    const Bytes wideName = Utf16(name);
    const std::size_t runsOffset = Align8(0x40 + wideName.size());
    Bytes b(Align8(runsOffset + runs.size()), 0);
    Put32(b, 0x00, type);
    Put32(b, 0x04, static_cast<std::uint32_t>(b.size()));
    b[0x08] = 1;
    b[0x09] = static_cast<std::uint8_t>(name.size());
    Put16(b, 0x0A, 0x40);
    Put64(b, 0x10, startVcn);
    Put64(b, 0x18, lastVcn);
    Put16(b, 0x20, static_cast<std::uint16_t>(runsOffset));
    Put64(b, 0x28, allocatedSize);
    Put64(b, 0x30, dataSize);
    Put64(b, 0x38, dataSize);
    std::copy(wideName.begin(), wideName.end(), b.begin() + 0x40);
    std::copy(runs.begin(), runs.end(), b.begin() + static_cast<std::ptrdiff_t>(runsOffset));
    return {type, b};
}

Attribute StdInfo(std::uint32_t fileFlags) {
    Bytes value(0x48, 0);
    Put32(value, 0x20, fileFlags);
    return ResidentAttribute(0x10, value);
}

Attribute FileName(const std::string& name, std::uint8_t nameSpace, std::uint64_t parent) {
    const Bytes wide = Utf16(name);
    Bytes value(0x42 + wide.size(), 0);
    Put64(value, 0x00, parent);
    value[0x40] = static_cast<std::uint8_t>(name.size());
    value[0x41] = nameSpace;
    std::copy(wide.begin(), wide.end(), value.begin() + 0x42);
    return ResidentAttribute(0x30, value);
}

Attribute VolumeInformation(std::uint8_t major, std::uint8_t minor) {
    Bytes value(12, 0);
    value[8] = major;
    value[9] = minor;
    return ResidentAttribute(0x70, value);
}

Attribute VolumeName(const std::string& label) {
    return ResidentAttribute(0x60, Utf16(label));
}

Bytes AttrListValue(const std::vector<AttrListEntry>& entries) {
    Bytes out;
    for (const AttrListEntry& e : entries) {
        // Each entry occupies its declared step; a step of 0 still leaves a readable block.
        Bytes b(std::max<std::size_t>(32, e.length), 0);
        Put32(b, 0x00, e.type);
        Put16(b, 0x04, e.length);
        Put32(b, 0x10, static_cast<std::uint32_t>(e.recordNumber));
        Put16(b, 0x14, static_cast<std::uint16_t>(e.recordNumber >> 32));
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

ImageBuilder::ImageBuilder(Geometry geometry) : m_geometry(geometry) {
    std::uint64_t spc = geometry.sectorsPerClusterByte;
    if (spc > 0x80) {
        spc = std::uint64_t{1} << (256 - spc);
    }
    m_clusterSize = static_cast<std::uint32_t>(spc * geometry.sectorSize);
    const auto recordByte = static_cast<std::int8_t>(geometry.recordSizeByte);
    m_recordSize = recordByte > 0      ? static_cast<std::uint32_t>(recordByte) * m_clusterSize
                   : -recordByte <= 16 ? (std::uint32_t{1} << -recordByte)
                                       : 0;
    // A size the reader must refuse still gets laid out as 1 KB records, so that only the
    // boot sector byte is wrong.
    if (m_recordSize < geometry.sectorSize || m_recordSize > (1u << 16)) {
        m_recordSize = 1024;
    }
    const std::uint64_t mftBytes = 64ull * m_recordSize;
    m_mftLayout = {{static_cast<std::int64_t>(geometry.mftCluster),
                    (mftBytes + m_clusterSize - 1) / m_clusterSize}};
}

void ImageBuilder::SetRecord(std::uint64_t n, RecordLayout layout) {
    for (auto& [number, existing] : m_records) {
        if (number == n) {
            existing = std::move(layout);
            return;
        }
    }
    m_records.emplace_back(n, std::move(layout));
}

void ImageBuilder::SetMftLayout(std::vector<Run> extents) {
    m_mftLayout = std::move(extents);
}

void ImageBuilder::WriteClusters(std::uint64_t lcn, const Bytes& bytes) {
    m_clusterWrites.emplace_back(lcn, bytes);
}

void ImageBuilder::Patch(std::uint64_t offset, const Bytes& bytes) {
    m_patches.emplace_back(offset, bytes);
}

Attribute ImageBuilder::MftDataAttribute() const {
    std::uint64_t clusters = 0;
    for (const Run& r : m_mftLayout) {
        clusters += r.clusters;
    }
    return NonResidentAttribute(0x80, EncodeRuns(m_mftLayout), 0, clusters - 1,
                                clusters * m_clusterSize, clusters * m_clusterSize);
}

Bytes ImageBuilder::BuildRecord(const RecordLayout& layout) const {
    const std::size_t sectors = m_recordSize / m_geometry.sectorSize;
    Bytes r(m_recordSize, 0);
    std::memcpy(r.data(), layout.badMagic ? "BAAD" : "FILE", 4);
    const std::uint16_t usa = layout.updateSequenceOffset.value_or(0x30);
    Put16(r, 0x04, usa);
    Put16(r, 0x06, static_cast<std::uint16_t>(sectors + 1));
    Put16(r, 0x10, 1);
    Put16(r, 0x12, 1);
    const std::size_t first = Align8(0x30 + 2 * (sectors + 1));
    Put16(r, 0x14, layout.firstAttributeOffset.value_or(static_cast<std::uint16_t>(first)));
    Put16(r, 0x16, layout.inUse ? 1 : 0);
    std::size_t pos = first;
    for (const Attribute& a : layout.attributes) {
        if (pos + a.bytes.size() > r.size()) {
            throw std::runtime_error("attributes do not fit in the record");
        }
        std::copy(a.bytes.begin(), a.bytes.end(), r.begin() + static_cast<std::ptrdiff_t>(pos));
        pos += a.bytes.size();
    }
    if (!layout.noEndMarker && pos + 8 <= r.size()) {
        Put32(r, pos, 0xFFFFFFFF);
        pos += 8;
    }
    Put32(r, 0x18, static_cast<std::uint32_t>(pos));
    Put32(r, 0x1C, m_recordSize);
    // Fix-up: the last two bytes of each sector move to the update sequence array and the
    // sector ends in the key.
    constexpr std::uint16_t kKey = 0x0001;
    if (usa + 2 * (sectors + 1) <= r.size()) {
        Put16(r, usa, kKey);
        for (std::size_t i = 0; i < sectors; ++i) {
            const std::size_t tail = (i + 1) * m_geometry.sectorSize - 2;
            r[usa + 2 + 2 * i] = r[tail];
            r[usa + 3 + 2 * i] = r[tail + 1];
            Put16(r, tail, layout.tornSector == i ? 0xBEEF : kKey);
        }
    }
    return r;
}

Bytes ImageBuilder::Build() const {
    Bytes image(m_geometry.clusters * m_clusterSize, 0);
    // Boot sector.
    image[0] = 0xEB;
    image[1] = 0x52;
    image[2] = 0x90;
    std::memcpy(image.data() + 3, "NTFS    ", 8);
    Put16(image, 0x0B, m_geometry.sectorSize);
    image[0x0D] = m_geometry.sectorsPerClusterByte;
    image[0x15] = 0xF8;
    Put64(image, 0x28, m_geometry.clusters * (m_clusterSize / m_geometry.sectorSize) - 1);
    Put64(image, 0x30, m_geometry.mftCluster);
    Put64(image, 0x38, m_geometry.mftCluster + 1);
    image[0x40] = m_geometry.recordSizeByte;
    image[0x44] = m_geometry.indexBlockSizeByte;
    Put16(image, 0x1FE, 0xAA55);

    // The master file table as one logical byte array, then spread over its extents.
    std::uint64_t mftClusters = 0;
    for (const Run& r : m_mftLayout) {
        mftClusters += r.clusters;
    }
    Bytes mft(mftClusters * m_clusterSize, 0);
    auto place = [&](std::uint64_t n, const RecordLayout& layout) {
        const Bytes rec = BuildRecord(layout);
        if ((n + 1) * m_recordSize <= mft.size()) {
            std::copy(rec.begin(), rec.end(),
                      mft.begin() + static_cast<std::ptrdiff_t>(n * m_recordSize));
        }
    };
    bool have0 = false;
    bool have3 = false;
    for (const auto& [n, layout] : m_records) {
        have0 = have0 || n == 0;
        have3 = have3 || n == 3;
    }
    if (!have0) {
        place(0, RecordLayout{true, {StdInfo(), FileName("$MFT"), MftDataAttribute()}});
    }
    if (!have3) {
        place(3,
              RecordLayout{true,
                           {StdInfo(), FileName("$Volume"), VolumeName("Test"),
                            VolumeInformation(m_geometry.majorVersion, m_geometry.minorVersion)}});
    }
    for (const auto& [n, layout] : m_records) {
        place(n, layout);
    }
    std::uint64_t logical = 0;
    for (const Run& r : m_mftLayout) {
        const std::uint64_t bytes = r.clusters * m_clusterSize;
        if (r.lcn) {
            const std::uint64_t at = static_cast<std::uint64_t>(*r.lcn) * m_clusterSize;
            if (at + bytes <= image.size()) {
                std::copy(mft.begin() + static_cast<std::ptrdiff_t>(logical),
                          mft.begin() + static_cast<std::ptrdiff_t>(logical + bytes),
                          image.begin() + static_cast<std::ptrdiff_t>(at));
            }
        }
        logical += bytes;
    }
    for (const auto& [lcn, bytes] : m_clusterWrites) {
        const std::uint64_t at = lcn * m_clusterSize;
        if (at + bytes.size() > image.size()) {
            throw std::runtime_error("cluster write beyond the volume");
        }
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
    }
    for (const auto& [offset, bytes] : m_patches) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    return image;
}

Bytes WrapInMbr(const Bytes& volume, std::uint32_t startSector, std::uint8_t type) {
    Bytes disk(std::size_t{startSector} * 512 + volume.size(), 0);
    const std::size_t e = 0x1BE;
    disk[e + 4] = type;
    Put32(disk, e + 8, startSector);
    Put32(disk, e + 12, static_cast<std::uint32_t>(volume.size() / 512));
    Put16(disk, 0x1FE, 0xAA55);
    std::copy(volume.begin(), volume.end(), disk.begin() + std::size_t{startSector} * 512);
    return disk;
}

Bytes WrapInGpt(const Bytes& volume, std::uint64_t firstLba, std::uint32_t number) {
    const std::uint64_t volumeSectors = (volume.size() + 511) / 512;
    const std::uint64_t totalSectors = firstLba + volumeSectors + 34;
    Bytes disk(totalSectors * 512, 0);
    // Protective MBR.
    disk[0x1BE + 4] = 0xEE;
    Put32(disk, 0x1BE + 8, 1);
    Put32(disk, 0x1BE + 12, static_cast<std::uint32_t>(totalSectors - 1));
    Put16(disk, 0x1FE, 0xAA55);
    // Header at LBA 1, entries from LBA 2.
    std::memcpy(disk.data() + 512, "EFI PART", 8);
    Put32(disk, 512 + 0x08, 0x00010000);
    Put32(disk, 512 + 0x0C, 92);
    Put64(disk, 512 + 0x18, 1);
    Put64(disk, 512 + 0x48, 2);
    Put32(disk, 512 + 0x50, 128);
    Put32(disk, 512 + 0x54, 128);
    static const std::uint8_t kBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};
    const std::size_t entry = 2 * 512 + std::size_t{number - 1} * 128;
    std::memcpy(disk.data() + entry, kBasicData, 16);
    disk[entry + 16] = 1; // unique GUID, any non-zero value
    Put64(disk, entry + 0x20, firstLba);
    Put64(disk, entry + 0x28, firstLba + volumeSectors - 1);
    std::copy(volume.begin(), volume.end(),
              disk.begin() + static_cast<std::ptrdiff_t>(firstLba * 512));
    return disk;
}

MemoryImage::MemoryImage(const Bytes& bytes) {
    m_fd = memfd_create("ntfs-test-image", MFD_CLOEXEC);
    if (m_fd < 0) {
        throw std::runtime_error("memfd_create failed");
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            throw std::runtime_error("writing the image failed");
        }
        done += static_cast<std::size_t>(n);
    }
    m_path = "/proc/self/fd/" + std::to_string(m_fd);
}

MemoryImage::~MemoryImage() {
    if (m_fd >= 0) {
        close(m_fd);
    }
}

} // namespace ntfs_test
