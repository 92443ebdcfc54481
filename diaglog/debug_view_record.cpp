// Encoding and decoding of the viewer record.
#include "diaglog/debug_view_record.h"

#include "platform/le_reader.h"

#include <algorithm>
#include <cstring>

namespace {

void PutLe32(DebugViewRecord& record, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace

DebugViewRecord EncodeDebugViewRecord(std::string_view line) {
    DebugViewRecord record{};
    PutLe32(record, kDebugViewSizeOffset, static_cast<std::uint32_t>(kDebugViewRecordSize));
    PutLe32(record, kDebugViewKindOffset, kDebugViewKindLine);
    const std::size_t n = std::min(line.size(), kDebugViewTextSize - 1);
    std::copy_n(line.begin(), n, record.begin() + kDebugViewTextOffset);
    return record;
}

std::optional<std::string> DecodeDebugViewRecord(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kDebugViewRecordSize) {
        return std::nullopt;
    }
    const platform::LeReader reader(bytes);
    const auto size = reader.At<std::uint32_t>(kDebugViewSizeOffset);
    const auto kind = reader.At<std::uint32_t>(kDebugViewKindOffset);
    const auto text = reader.Bytes(kDebugViewTextOffset, kDebugViewTextSize);
    if (!size || *size != kDebugViewRecordSize || !kind || *kind != kDebugViewKindLine || !text) {
        return std::nullopt;
    }
    const auto end = std::find(text->begin(), text->end(), std::uint8_t{0});
    if (end == text->end()) {
        return std::nullopt;
    }
    return std::string(text->begin(), end);
}
