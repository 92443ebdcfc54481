// The record a live viewer receives for each log line: 2056 bytes, little-endian, a size and a
// kind followed by the NUL-terminated line in a zero-filled 2048-byte field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

constexpr std::size_t kDebugViewRecordSize = 2056;
constexpr std::size_t kDebugViewSizeOffset = 0;
constexpr std::size_t kDebugViewKindOffset = 4;
constexpr std::size_t kDebugViewTextOffset = 8;
constexpr std::size_t kDebugViewTextSize = 2048;
constexpr std::uint32_t kDebugViewKindLine = 1;

using DebugViewRecord = std::array<std::uint8_t, kDebugViewRecordSize>;

// The record for `line`; a line of more than 2047 bytes is cut so that its NUL fits.
DebugViewRecord EncodeDebugViewRecord(std::string_view line);

// The line a record carries, or nothing when `bytes` is not a whole record of the line kind
// with its terminating NUL inside the text field.
std::optional<std::string> DecodeDebugViewRecord(std::span<const std::uint8_t> bytes);
