// Volume name: both forms of the label.
#include "ntfs/attr_vol_name.h"

#include "platform/codepage.h"

#include <string>

CAttr_VolName::CAttr_VolName(std::span<const std::uint8_t> header, const CFileRecord& record)
    : CAttrResident(header, record) {
    const std::span<const std::uint8_t> value = Value();
    m_labelLength = static_cast<std::uint32_t>(value.size() / 2);
    m_labelWide = std::make_unique<char16_t[]>(m_labelLength + 1);
    for (std::uint32_t i = 0; i < m_labelLength; ++i) {
        m_labelWide[i] = static_cast<char16_t>(value[2 * i] | (value[2 * i + 1] << 8));
    }
    m_labelWide[m_labelLength] = 0;
    m_labelAnsi = std::make_unique<char[]>(m_labelLength + 1);
    const std::string ansi =
        platform::ActiveCodePage().FromUtf16(std::u16string_view(m_labelWide.get(), m_labelLength));
    // One byte per character is all the room there is; a longer label stays empty.
    if (ansi.size() <= m_labelLength) {
        ansi.copy(m_labelAnsi.get(), ansi.size());
        m_labelAnsi[ansi.size()] = '\0';
    } else {
        m_labelAnsi[0] = '\0';
    }
}
