// Fuzz target: the mapping-pair decoder over arbitrary run bytes and header VCN spans.
#include "ntfs/attr_non_resident.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {
constexpr std::size_t kHeaderSize = 0x40;
constexpr std::size_t kSpanBytes = 8;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kSpanBytes) {
        return 0;
    }
    std::uint64_t span = 0;
    for (std::size_t i = kSpanBytes; i-- > 0;) {
        span = (span << 8) | data[i];
    }
    // A non-resident header whose runs follow it directly, then the fuzzed run bytes; the span
    // is taken from the input so that the range check sees every kind of value.
    std::vector<std::uint8_t> header(kHeaderSize, 0);
    header[0x08] = 1;
    header[0x20] = kHeaderSize;
    header.insert(header.end(), data + kSpanBytes, data + size);
    CSList<tagDataRun_Entry> runs;
    const bool valid = CAttrNonResident::DecodeRunList(header, span, runs);
    std::uint64_t vcn = 0;
    for (tagDataRun_Entry* run = runs.First(); run != nullptr; run = runs.Next()) {
        // The invariants every caller relies on.
        if (run->startVcn != vcn || run->lastVcn != run->startVcn + run->clusters - 1 ||
            run->lastVcn > span || (run->lcn < 0 && run->lcn != tagDataRun_Entry::kSparseLcn)) {
            __builtin_trap();
        }
        vcn += run->clusters;
    }
    (void)valid;
    return 0;
}
