// Byte offsets of the on-disk attribute header, shared by the attribute classes and the file
// record that walks attributes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace attr_header {

// Common part.
constexpr std::size_t kTypeCode = 0x00;
constexpr std::size_t kLength = 0x04;
constexpr std::size_t kNonResidentFlag = 0x08;
constexpr std::size_t kNameLength = 0x09;

// Resident part.
constexpr std::size_t kValueLength = 0x10;
constexpr std::size_t kValueOffset = 0x14;

// Non-resident part.
constexpr std::size_t kStartingVcn = 0x10;
constexpr std::size_t kLastVcn = 0x18;
constexpr std::size_t kRunsOffset = 0x20;
constexpr std::size_t kAllocatedSize = 0x28;
constexpr std::size_t kDataSize = 0x30;

// The type code that ends the attributes of a record.
constexpr std::uint32_t kEndMarker = 0xFFFFFFFF;

// Type codes the reader looks into.
constexpr std::uint32_t kStandardInformation = 0x10;
constexpr std::uint32_t kAttributeList = 0x20;
constexpr std::uint32_t kFileName = 0x30;
constexpr std::uint32_t kVolumeName = 0x60;
constexpr std::uint32_t kVolumeInformation = 0x70;
constexpr std::uint32_t kData = 0x80;
constexpr std::uint32_t kIndexRoot = 0x90;
constexpr std::uint32_t kIndexAllocation = 0xA0;
constexpr std::uint32_t kBitmap = 0xB0;

} // namespace attr_header
