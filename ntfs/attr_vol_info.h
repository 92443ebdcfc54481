// CAttr_VolInfo: the volume information attribute, read for the NTFS version.
#pragma once

#include "ntfs/attr_resident.h"

class CAttr_VolInfo : public CAttrResident {
public:
    using CAttrResident::CAttrResident;

    // Major version × 256 + minor version; 0 when the value is too short to hold them.
    [[nodiscard]] std::uint16_t VolumeVersion() const;
};
