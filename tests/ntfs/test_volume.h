// Opens a built image as a volume, for the suites that need a record to hang attributes on.
#pragma once

#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"
#include "tests/ntfs/image_builder.h"

#include <memory>

namespace ntfs_test {

struct OpenedVolume {
    std::unique_ptr<MemoryImage> image;
    std::unique_ptr<CNTFSVolume> volume;
};

inline OpenedVolume OpenImage(const Bytes& bytes, int partition = PartitionTable::kFirstNtfs) {
    OpenedVolume v;
    v.image = std::make_unique<MemoryImage>(bytes);
    v.volume = std::make_unique<CNTFSVolume>(v.image->Path(), partition);
    return v;
}

// A volume whose record `n` holds `attributes`, with that record loaded and parsed.
struct OpenedRecord {
    OpenedVolume opened;
    std::unique_ptr<CFileRecord> record;
    bool loaded = false;
    bool parsed = false;
};

inline OpenedRecord OpenRecord(ImageBuilder& builder, std::uint64_t n,
                               std::vector<Attribute> attributes,
                               std::uint32_t mask = CFileRecord::kAllAttributes) {
    builder.SetRecord(n, RecordLayout{true, std::move(attributes)});
    OpenedRecord r;
    r.opened = OpenImage(builder.Build());
    r.record = std::make_unique<CFileRecord>(r.opened.volume.get());
    r.record->SetAttrMask(mask);
    r.loaded = r.record->LoadRecord(n);
    r.parsed = r.loaded && r.record->ParseAttributes();
    return r;
}

// List index of a type code.
constexpr std::uint32_t ListOf(std::uint32_t type) {
    return (type >> 4) - 1;
}

} // namespace ntfs_test
