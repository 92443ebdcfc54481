// Index root: the walk over the entries of the root node.
#include "ntfs/attr_index_root.h"

#include "ntfs/attr_header.h"
#include "platform/le_reader.h"

namespace {

constexpr std::size_t kIndexedTypeOffset = 0x00;
constexpr std::size_t kNodeHeaderOffset = 0x10;
constexpr std::size_t kFirstEntryOffset = 0x10; // from the node header
constexpr std::size_t kEntriesSizeOffset = 0x14;

constexpr std::size_t kEntryLengthOffset = 0x08;
constexpr std::size_t kKeyLengthOffset = 0x0A;
constexpr std::size_t kEntryFlagsOffset = 0x0C;
constexpr std::size_t kKeyOffset = 0x10;
constexpr std::uint8_t kLastEntryFlag = 0x02;

} // namespace

CAttr_IndexRoot::CAttr_IndexRoot(std::span<const std::uint8_t> header, const CFileRecord& record)
    : CAttrResident(header, record) {
    const auto indexedType =
        platform::LeReader(Value()).At<std::uint32_t>(kIndexedTypeOffset).value_or(0);
    if (indexedType == attr_header::kFileName) {
        ParseEntries();
    }
}

void CAttr_IndexRoot::ParseEntries() {
    const platform::LeReader value(Value());
    const auto first = value.At<std::uint32_t>(kFirstEntryOffset);
    const auto limit = value.At<std::uint32_t>(kEntriesSizeOffset);
    if (!first || !limit) {
        return;
    }
    std::uint64_t pos = std::uint64_t{kNodeHeaderOffset} + *first;
    auto entryLength = [&](std::uint64_t at) -> std::uint16_t {
        return value.At<std::uint16_t>(static_cast<std::size_t>(at + kEntryLengthOffset))
            .value_or(0);
    };
    std::uint64_t sum = entryLength(pos);
    if (sum > *limit) {
        return;
    }
    for (;;) {
        const std::uint16_t length = entryLength(pos);
        // An entry of length 0 would hold the walk in place; an entry that does not fit in the
        // value cannot be read. Either ends the walk with the entries found so far.
        const auto entry = value.Bytes(static_cast<std::size_t>(pos), length);
        if (length == 0 || !entry) {
            return;
        }
        const platform::LeReader entryReader(*entry);
        const auto keyLength = entryReader.At<std::uint16_t>(kKeyLengthOffset).value_or(0);
        std::span<const std::uint8_t> key;
        if (keyLength != 0) {
            key =
                entryReader.Bytes(kKeyOffset, keyLength).value_or(std::span<const std::uint8_t>());
        }
        Append(std::make_unique<CIndexEntry>(*entry, key));
        if ((entryReader.At<std::uint8_t>(kEntryFlagsOffset).value_or(0) & kLastEntryFlag) != 0) {
            return;
        }
        pos += length;
        sum += entryLength(pos);
        if (sum > *limit) {
            return;
        }
    }
}
