// Geometry and header fields common to resident and non-resident attributes.
#include "ntfs/attr_base.h"

#include "ntfs/attr_header.h"
#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"
#include "platform/le_reader.h"

CAttrBase::CAttrBase(std::span<const std::uint8_t> header, const CFileRecord& record)
    : m_header(header), m_sectorSize(record.Volume()->SectorSize()),
      m_clusterSize(record.Volume()->ClusterSize()),
      m_indexBlockSize(record.Volume()->IndexBlockSize()), m_device(record.Volume()->Device()),
      m_volumeStart(record.Volume()->VolumeStart()), m_fileRecord(&record) {}

std::uint32_t CAttrBase::TypeCode() const {
    return platform::LeReader(m_header).At<std::uint32_t>(attr_header::kTypeCode).value_or(0);
}

bool CAttrBase::IsNonResident() const {
    return platform::LeReader(m_header)
               .At<std::uint8_t>(attr_header::kNonResidentFlag)
               .value_or(0) != 0;
}

std::uint8_t CAttrBase::NameLength() const {
    return platform::LeReader(m_header).At<std::uint8_t>(attr_header::kNameLength).value_or(0);
}
