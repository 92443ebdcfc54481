// Bitmap attributes: size and buffer.
#include "ntfs/attr_bitmap.h"

CAttr_Bitmap<CAttrResident>::CAttr_Bitmap(std::span<const std::uint8_t> header,
                                          const CFileRecord& record)
    : CAttrResident(header, record) {
    m_bitmapSize = Value().size();
    auto buffer = std::make_unique<std::uint8_t[]>(Value().size());
    std::uint32_t got = 0;
    const auto size = static_cast<std::uint32_t>(Value().size());
    if (ReadValueAt(0, buffer.get(), size, &got) && got == size) {
        m_bitmapBuffer = std::move(buffer);
    }
}

CAttr_Bitmap<CAttrNonResident>::CAttr_Bitmap(std::span<const std::uint8_t> header,
                                             const CFileRecord& record)
    : CAttrNonResident(header, record) {
    if (IsDataValid()) {
        m_bitmapSize = DataSize();
        m_bitmapBuffer = std::make_unique<std::uint8_t[]>(m_clusterSize);
    }
}
