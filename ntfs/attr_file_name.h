// CAttr_FileName: a file name attribute, with the name accessors of CFileName.
#pragma once

#include "ntfs/attr_resident.h"
#include "ntfs/file_name.h"

class CAttr_FileName : public CAttrResident, public CFileName {
public:
    CAttr_FileName(std::span<const std::uint8_t> header, const CFileRecord& record)
        : CAttrResident(header, record) {
        SetFileNameValue(Value());
        BuildUpperName();
    }
};
