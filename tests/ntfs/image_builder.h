// Writes small NTFS volumes byte by byte for the cases real formatters do not produce on
// demand: odd geometry, hand-made data runs, attribute lists, torn sectors, damaged headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ntfs_test {

using Bytes = std::vector<std::uint8_t>;

// One extent of a run list to encode: `lcn` nullopt for a sparse run.
struct Run {
    std::optional<std::int64_t> lcn;
    std::uint64_t clusters = 0;
};

// Mapping pairs for `runs`, each offset relative to the previous non-sparse run, with the
// smallest field sizes, followed by the end marker.
Bytes EncodeRuns(const std::vector<Run>& runs);

// UTF-16LE bytes of an ASCII string.
Bytes Utf16(const std::string& text);

// Attribute bodies and headers.
struct Attribute {
    std::uint32_t type = 0;
    Bytes bytes; // the whole attribute, header included
};

Attribute ResidentAttribute(std::uint32_t type, const Bytes& value, const std::string& name = "");
// `runs` are the raw mapping-pair bytes; `lastVcn` is the header's last VCN.
Attribute NonResidentAttribute(std::uint32_t type, const Bytes& runs, std::uint64_t startVcn,
                               std::uint64_t lastVcn, std::uint64_t allocatedSize,
                               std::uint64_t dataSize, const std::string& name = "");
Attribute StdInfo(std::uint32_t fileFlags = 0);
Attribute FileName(const std::string& name, std::uint8_t nameSpace = 1, std::uint64_t parent = 5);
Attribute VolumeInformation(std::uint8_t major, std::uint8_t minor);
Attribute VolumeName(const std::string& label);

struct AttrListEntry {
    std::uint32_t type = 0;
    std::uint64_t recordNumber = 0;
    std::uint16_t length = 32; // the entry's step; 0 and odd values are allowed for damage
};
Bytes AttrListValue(const std::vector<AttrListEntry>& entries);

struct RecordLayout {
    RecordLayout() = default;
    RecordLayout(bool inUse, std::vector<Attribute> attributes)
        : inUse(inUse), attributes(std::move(attributes)) {}

    bool inUse = true;
    std::vector<Attribute> attributes;
    // Damage: a sector whose update sequence slot does not hold the key.
    std::optional<std::size_t> tornSector;
    std::optional<std::uint16_t> updateSequenceOffset; // overrides the computed one
    std::optional<std::uint16_t> firstAttributeOffset; // overrides the computed one
    bool badMagic = false;
    bool noEndMarker = false;
};

struct Geometry {
    std::uint16_t sectorSize = 512;
    std::uint8_t sectorsPerClusterByte = 8; // 4096-byte clusters
    std::uint8_t recordSizeByte = 0xF6;     // 1024-byte records
    std::uint8_t indexBlockSizeByte = 1;    // one cluster
    std::uint64_t mftCluster = 4;
    std::uint64_t clusters = 256;
    std::uint8_t majorVersion = 3;
    std::uint8_t minorVersion = 1;
};

class ImageBuilder {
public:
    explicit ImageBuilder(Geometry geometry = {});

    [[nodiscard]] std::uint32_t ClusterSize() const { return m_clusterSize; }
    [[nodiscard]] std::uint32_t RecordSize() const { return m_recordSize; }

    // Record `n` of the master file table; records 0 and 3 are set up by default and may be
    // replaced.
    void SetRecord(std::uint64_t n, RecordLayout layout);
    // Where the master file table's bytes lie: extents in order (default one extent at the
    // boot sector's MFT cluster, 64 records long). Record 0's $DATA follows this layout unless
    // record 0 was replaced.
    void SetMftLayout(std::vector<Run> extents);
    void WriteClusters(std::uint64_t lcn, const Bytes& bytes);
    // Raw bytes at a volume offset (boot sector damage and the like), written last.
    void Patch(std::uint64_t offset, const Bytes& bytes);

    // The finished volume image.
    [[nodiscard]] Bytes Build() const;

    // Record 0's default $DATA for the current layout.
    [[nodiscard]] Attribute MftDataAttribute() const;

private:
    Bytes BuildRecord(const RecordLayout& layout) const;

    Geometry m_geometry;
    std::uint32_t m_clusterSize;
    std::uint32_t m_recordSize;
    std::vector<Run> m_mftLayout;
    std::vector<std::pair<std::uint64_t, RecordLayout>> m_records;
    std::vector<std::pair<std::uint64_t, Bytes>> m_clusterWrites;
    std::vector<std::pair<std::uint64_t, Bytes>> m_patches;
};

// A disk image holding `volume` as its only partition, at `startSector` (512-byte sectors).
Bytes WrapInMbr(const Bytes& volume, std::uint32_t startSector, std::uint8_t type = 0x07);
// A GPT disk whose partition `number` (1-based, earlier entries left empty) holds `volume`.
Bytes WrapInGpt(const Bytes& volume, std::uint64_t firstLba, std::uint32_t number = 1);

// An in-memory file holding `bytes`, opened by path like any image. Closed on destruction.
class MemoryImage {
public:
    explicit MemoryImage(const Bytes& bytes);
    ~MemoryImage();
    MemoryImage(const MemoryImage&) = delete;
    MemoryImage& operator=(const MemoryImage&) = delete;
    [[nodiscard]] const std::string& Path() const { return m_path; }

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace ntfs_test
