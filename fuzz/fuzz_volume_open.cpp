// Fuzz target: opening a volume whose first sectors (boot sector, partition tables, and the
// master file table's first records when the boot sector puts them near the start) are the
// input, then loading and parsing the records the table's data attribute reaches.
#include "fuzz/reusable_image.h"
#include "ntfs/attr_base.h"
#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {
// The input is laid at the start of an image of this size; the rest reads as zeros.
constexpr std::size_t kImageSize = 1 << 20;
constexpr std::uint64_t kRecordsTried = 40;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ReusableImage image;
    image.Reset(kImageSize);
    image.Write(0, data, std::min(size, kImageSize));
    CNTFSVolume volume(image.Path());
    if (!volume.IsReady()) {
        return 0;
    }
    CFileRecord record(&volume);
    record.SetAttrMask(0x87);
    for (std::uint64_t n = 0; n < kRecordsTried; ++n) {
        if (record.LoadRecord(n)) {
            (void)record.ParseAttributes();
            std::array<char, CFileRecord::kAnsiNameCapacity> name{};
            (void)record.GetAnsiName(name);
            if (CAttrBase* d = record.FindUnnamedData()) {
                std::array<std::uint8_t, 8192> buffer{};
                std::uint32_t got = 0;
                (void)d->ReadValueAt(0, buffer.data(), buffer.size(), &got);
            }
        }
    }
    return 0;
}
