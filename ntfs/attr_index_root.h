// CAttr_IndexRoot: the root node of an index; for a file name index its entries are listed.
#pragma once

#include "ntfs/attr_resident.h"
#include "ntfs/index_entry.h"
#include "ntfs/slist.h"

class CAttr_IndexRoot : public CAttrResident, public CSList<CIndexEntry> {
public:
    CAttr_IndexRoot(std::span<const std::uint8_t> header, const CFileRecord& record);

private:
    void ParseEntries();
};
