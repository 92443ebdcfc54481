// Standard information: the file attribute flags.
#include "ntfs/attr_std_info.h"

#include "platform/le_reader.h"

namespace {
constexpr std::size_t kFileAttributeFlagsOffset = 0x20;
}

std::uint32_t CAttr_StdInfo::GetFileAttrFlags() const {
    return platform::LeReader(Value()).At<std::uint32_t>(kFileAttributeFlagsOffset).value_or(0);
}
