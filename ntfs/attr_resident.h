// CAttrResident: an attribute whose value lies inside the file record.
#pragma once

#include "ntfs/attr_base.h"

class CAttrResident : public CAttrBase {
public:
    CAttrResident(std::span<const std::uint8_t> header, const CFileRecord& record);

    [[nodiscard]] bool IsDataValid() const override { return true; }
    std::uint64_t QueryDataLength(std::uint64_t* allocatedSize) const override;
    bool ReadValueAt(std::uint64_t offset, void* buffer, std::uint32_t length,
                     std::uint32_t* bytesRead) override;

    // The value inside the record; empty when the header places it outside the attribute.
    [[nodiscard]] std::span<const std::uint8_t> Value() const { return m_value; }

protected:
    std::span<const std::uint8_t> m_value;
};
