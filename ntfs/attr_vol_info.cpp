// Volume information: the version bytes.
#include "ntfs/attr_vol_info.h"

#include "platform/le_reader.h"

namespace {
constexpr std::size_t kMajorVersionOffset = 0x08;
constexpr std::size_t kMinorVersionOffset = 0x09;
} // namespace

std::uint16_t CAttr_VolInfo::VolumeVersion() const {
    const platform::LeReader reader(Value());
    const auto major = reader.At<std::uint8_t>(kMajorVersionOffset);
    const auto minor = reader.At<std::uint8_t>(kMinorVersionOffset);
    if (!major || !minor) {
        return 0;
    }
    return static_cast<std::uint16_t>((*major << 8) | *minor);
}
