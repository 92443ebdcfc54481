// Reads of a resident value straight from the record's buffer.
#include "ntfs/attr_resident.h"

#include "ntfs/attr_header.h"
#include "platform/le_reader.h"

#include <algorithm>
#include <cstring>

CAttrResident::CAttrResident(std::span<const std::uint8_t> header, const CFileRecord& record)
    : CAttrBase(header, record) {
    const platform::LeReader reader(header);
    const auto length = reader.At<std::uint32_t>(attr_header::kValueLength);
    const auto offset = reader.At<std::uint16_t>(attr_header::kValueOffset);
    if (length && offset) {
        // A value that does not lie wholly inside the attribute is treated as absent; this also
        // covers a non-resident header read through the resident fields.
        m_value = reader.Bytes(*offset, *length).value_or(std::span<const std::uint8_t>());
    }
}

std::uint64_t CAttrResident::QueryDataLength(std::uint64_t* allocatedSize) const {
    if (allocatedSize != nullptr) {
        *allocatedSize = m_value.size();
    }
    return m_value.size();
}

bool CAttrResident::ReadValueAt(std::uint64_t offset, void* buffer, std::uint32_t length,
                                std::uint32_t* bytesRead) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (length == 0) {
        return true;
    }
    if (offset >= m_value.size()) {
        return false;
    }
    const auto n =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(length, m_value.size() - offset));
    std::memcpy(buffer, m_value.data() + offset, n);
    if (bytesRead != nullptr) {
        *bytesRead = n;
    }
    return true;
}
