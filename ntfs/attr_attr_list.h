// CAttr_AttrList: the attribute list attribute. Building it gathers the wanted attributes that
// live in extension records into the base record's lists, and keeps those records alive.
#pragma once

#include "ntfs/attr_non_resident.h"
#include "ntfs/attr_resident.h"
#include "ntfs/slist.h"

class CFileRecord;

template <class T> class CAttr_AttrList : public T {
public:
    // `record` is the base record whose ParseAttributes is building this attribute.
    CAttr_AttrList(std::span<const std::uint8_t> header, CFileRecord& record);
    ~CAttr_AttrList() override;

    [[nodiscard]] CSList<CFileRecord>& ExtensionRecords() { return m_extensionRecords; }

private:
    void CollectExtensionAttributes(CFileRecord& base);

    CSList<CFileRecord> m_extensionRecords;
};

extern template class CAttr_AttrList<CAttrResident>;
extern template class CAttr_AttrList<CAttrNonResident>;
