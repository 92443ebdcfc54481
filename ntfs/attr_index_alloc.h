// CAttr_IndexAlloc: the index allocation attribute, measured in index blocks.
#pragma once

#include "ntfs/attr_non_resident.h"

class CAttr_IndexAlloc : public CAttrNonResident {
public:
    CAttr_IndexAlloc(std::span<const std::uint8_t> header, const CFileRecord& record);

    [[nodiscard]] std::uint64_t BlockCount() const { return m_blockCount; }

private:
    std::uint64_t m_blockCount = 0;
};
