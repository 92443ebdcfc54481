// CAttr_VolName: the volume label, kept in UTF-16 and in the ANSI code page.
#pragma once

#include "ntfs/attr_resident.h"

#include <memory>

class CAttr_VolName : public CAttrResident {
public:
    CAttr_VolName(std::span<const std::uint8_t> header, const CFileRecord& record);

    [[nodiscard]] const char16_t* LabelWide() const { return m_labelWide.get(); }
    // Empty when the label needs more bytes than it has characters in the ANSI code page.
    [[nodiscard]] const char* LabelAnsi() const { return m_labelAnsi.get(); }
    [[nodiscard]] std::uint32_t LabelLength() const { return m_labelLength; }

private:
    std::unique_ptr<char16_t[]> m_labelWide;
    std::unique_ptr<char[]> m_labelAnsi;
    std::uint32_t m_labelLength = 0;
};
