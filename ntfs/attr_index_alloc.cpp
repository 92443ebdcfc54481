// Index allocation: the number of whole index blocks its data holds.
#include "ntfs/attr_index_alloc.h"

CAttr_IndexAlloc::CAttr_IndexAlloc(std::span<const std::uint8_t> header, const CFileRecord& record)
    : CAttrNonResident(header, record) {
    if (IsDataValid() && m_indexBlockSize != 0 && DataSize() % m_indexBlockSize == 0) {
        m_blockCount = DataSize() / m_indexBlockSize;
    }
}
