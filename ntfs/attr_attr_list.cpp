// Attribute lists: walking the entries and moving extension records' attributes to the base.
#include "ntfs/attr_attr_list.h"

#include "ntfs/file_record.h"
#include "platform/le_reader.h"

#include <array>

namespace {

// Every entry is read as a block of this many bytes; only the fields up to 0x15 are used.
constexpr std::uint32_t kEntryBlockSize = 32;
constexpr std::size_t kEntryTypeOffset = 0x00;
constexpr std::size_t kEntryLengthOffset = 0x04;
constexpr std::size_t kEntryRecordLowOffset = 0x10;
constexpr std::size_t kEntryRecordHighOffset = 0x14;

// A file record has one list per type code 0x10 to 0x100.
constexpr std::uint32_t kListCount = 16;

} // namespace

template <class T>
CAttr_AttrList<T>::CAttr_AttrList(std::span<const std::uint8_t> header, CFileRecord& record)
    : T(header, record) {
    CollectExtensionAttributes(record);
}

template <class T> CAttr_AttrList<T>::~CAttr_AttrList() {
    m_extensionRecords.Clear();
}

template <class T> void CAttr_AttrList<T>::CollectExtensionAttributes(CFileRecord& base) {
    if (base.RecordNumber() == CFileRecord::kNoRecord) {
        return;
    }
    std::uint64_t offset = 0;
    std::array<std::uint8_t, kEntryBlockSize> block{};
    for (;;) {
        std::uint32_t got = 0;
        if (!this->ReadValueAt(offset, block.data(), kEntryBlockSize, &got) ||
            got < kEntryBlockSize) {
            return;
        }
        const platform::LeReader entry(block);
        const std::uint32_t type = *entry.At<std::uint32_t>(kEntryTypeOffset);
        const std::uint16_t length = *entry.At<std::uint16_t>(kEntryLengthOffset);
        const std::uint64_t recordNumber =
            *entry.At<std::uint32_t>(kEntryRecordLowOffset) |
            (std::uint64_t{*entry.At<std::uint16_t>(kEntryRecordHighOffset)} << 32);
        const std::uint32_t k = (type >> 4) - 1;
        if (k > kListCount) {
            return;
        }
        if (recordNumber != base.RecordNumber() && k < kListCount &&
            (base.AttrMask() & (1u << k)) != 0) {
            auto created = base.CreateExtensionRecord();
            if (!created) {
                return; // nested too deep, or the record's budget of extension loads is spent
            }
            CFileRecord* extension = created.get();
            m_extensionRecords.Append(std::move(created));
            extension->SetAttrMask(1u << k);
            if (!extension->LoadRecord(recordNumber)) {
                return;
            }
            (void)extension->ParseAttributes();
            base.AttrList(k).TakeAllFrom(extension->AttrList(k));
        }
        // An entry of length 0 would be read again and again; it ends the list.
        if (length == 0) {
            return;
        }
        offset += length;
    }
}

template class CAttr_AttrList<CAttrResident>;
template class CAttr_AttrList<CAttrNonResident>;
