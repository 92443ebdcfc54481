// CAttr_StdInfo: the standard information attribute, read for the file attribute flags.
#pragma once

#include "ntfs/attr_resident.h"

class CAttr_StdInfo : public CAttrResident {
public:
    static constexpr std::uint32_t kCompressedFlag = 0x0800;
    static constexpr std::uint32_t kEncryptedFlag = 0x4000;

    using CAttrResident::CAttrResident;

    [[nodiscard]] std::uint32_t GetFileAttrFlags() const;
    [[nodiscard]] bool HasCompressedFlag() const {
        return (GetFileAttrFlags() & kCompressedFlag) != 0;
    }
    [[nodiscard]] bool HasEncryptedFlag() const {
        return (GetFileAttrFlags() & kEncryptedFlag) != 0;
    }
};
