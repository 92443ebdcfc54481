// Fuzz target: loading and parsing file records inside a synthetic volume. The input becomes
// record 20 and the records after it (extension records for attribute lists) and a few
// clusters of data, so non-resident values and attribute lists are read through real runs.
#include "fuzz/reusable_image.h"
#include "ntfs/attr_base.h"
#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"
#include "tests/ntfs/image_builder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint64_t kFirstFuzzedRecord = 20;
constexpr std::size_t kFuzzedRecords = 4;
constexpr std::uint64_t kDataCluster = 40;
constexpr std::size_t kDataClusters = 4;

// The builder's volume without the fuzzed parts, made once.
const ntfs_test::Bytes& BaseImage() {
    static const ntfs_test::Bytes image = [] {
        ntfs_test::Geometry g;
        g.clusters = 64;
        return ntfs_test::ImageBuilder(g).Build();
    }();
    return image;
}

// Writes the fix-up the way a formatter does, so that the parser (not only the update
// sequence check) sees the fuzzed bytes; the first input byte can switch it off.
void ApplyFixup(std::uint8_t* record, std::size_t recordSize, std::size_t sectorSize) {
    const std::size_t usa = record[4] | (record[5] << 8);
    const std::size_t sectors = recordSize / sectorSize;
    if (usa + 2 + 2 * sectors > recordSize) {
        return;
    }
    for (std::size_t i = 0; i < sectors; ++i) {
        const std::size_t tail = (i + 1) * sectorSize - 2;
        record[usa + 2 + 2 * i] = record[tail];
        record[usa + 3 + 2 * i] = record[tail + 1];
        record[tail] = record[usa];
        record[tail + 1] = record[usa + 1];
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool fixup = (data[0] & 1) == 0;
    const std::uint32_t mask = (data[0] & 2) != 0 ? 0x87u : ~0u;
    ++data;
    --size;
    constexpr std::size_t kRecordSize = 1024;
    constexpr std::size_t kClusterSize = 4096;
    constexpr std::size_t kMftOffset = 4 * kClusterSize;
    static ReusableImage image;
    static const bool written = [] {
        image.Reset(BaseImage().size());
        image.Write(0, BaseImage().data(), BaseImage().size());
        return true;
    }();
    (void)written;
    // The fuzzed region is rewritten whole for every input, so no earlier input shows through.
    std::array<std::uint8_t, kFuzzedRecords * kRecordSize> records{};
    for (std::size_t r = 0; r < kFuzzedRecords && size > 0; ++r) {
        const std::size_t n = std::min(size, kRecordSize);
        std::uint8_t* record = records.data() + r * kRecordSize;
        std::memcpy(record, data, n);
        if (fixup) {
            ApplyFixup(record, kRecordSize, 512);
        }
        data += n;
        size -= n;
    }
    image.Write(kMftOffset + kFirstFuzzedRecord * kRecordSize, records.data(), records.size());
    std::array<std::uint8_t, kDataClusters * kClusterSize> clusters{};
    std::memcpy(clusters.data(), data, std::min(size, clusters.size()));
    image.Write(kDataCluster * kClusterSize, clusters.data(), clusters.size());
    CNTFSVolume volume(image.Path());
    if (!volume.IsReady()) {
        __builtin_trap(); // the base volume is sound; only records 20 and on are fuzzed
    }
    for (std::uint64_t n = kFirstFuzzedRecord; n < kFirstFuzzedRecord + kFuzzedRecords; ++n) {
        CFileRecord record(&volume);
        record.SetAttrMask(mask);
        if (!record.LoadRecord(n)) {
            continue;
        }
        (void)record.ParseAttributes();
        std::array<char, CFileRecord::kAnsiNameCapacity> name{};
        (void)record.GetAnsiName(name);
        (void)record.FindUnnamedData();
        std::array<std::uint8_t, 3 * 4096> buffer{};
        for (std::uint32_t k = 0; k < CFileRecord::kAttrListCount; ++k) {
            CSList<CAttrBase>& list = record.AttrList(k);
            for (CAttrBase* a = list.First(); a != nullptr; a = list.Next()) {
                std::uint64_t allocated = 0;
                const std::uint64_t length = a->QueryDataLength(&allocated);
                (void)a->IsDataValid();
                std::uint32_t got = 0;
                for (const std::uint64_t offset :
                     {std::uint64_t{0}, length / 2, length, length > 5 ? length - 5 : 0,
                      std::uint64_t{4093}}) {
                    if (a->ReadValueAt(offset, buffer.data(), buffer.size(), &got) &&
                        got > buffer.size()) {
                        __builtin_trap();
                    }
                }
            }
        }
    }
    return 0;
}
