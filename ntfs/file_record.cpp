// File records: reading, the update sequence fix-up, and the attribute factory.
#include "ntfs/file_record.h"

#include <algorithm>

#include "ntfs/attr_attr_list.h"
#include "ntfs/attr_bitmap.h"
#include "ntfs/attr_data.h"
#include "ntfs/attr_file_name.h"
#include "ntfs/attr_header.h"
#include "ntfs/attr_index_alloc.h"
#include "ntfs/attr_index_root.h"
#include "ntfs/attr_std_info.h"
#include "ntfs/attr_vol_info.h"
#include "ntfs/attr_vol_name.h"
#include "ntfs/ntfs_volume.h"
#include "platform/le_reader.h"
#include "platform/raw_device.h"

#include <cstring>

namespace {

constexpr std::uint32_t kFileMagic = 0x454C4946; // "FILE"
constexpr std::size_t kMagicOffset = 0x00;
constexpr std::size_t kUpdateSequenceOffset = 0x04;
constexpr std::size_t kFirstAttributeOffset = 0x14;
constexpr std::size_t kFlagsOffset = 0x16;
constexpr std::uint16_t kInUseFlag = 0x0001;

// Real volumes never nest attribute lists: an extension record holds no list of its own. The
// depth only bounds what a damaged or hostile volume can make the gathering do.
constexpr int kMaxAttributeListDepth = 4;
// Extension records one parse may load, nested lists included. An attribute list of the
// largest size the format allows names far fewer; a cycle or fan-out of lists ends here.
constexpr std::uint32_t kMaxExtensionLoads = 65536;

} // namespace

CFileRecord::CFileRecord(const CNTFSVolume* volume) : m_volume(volume) {}

CFileRecord::~CFileRecord() {
    ClearAttributes();
}

std::uint16_t CFileRecord::Flags() const {
    return platform::LeReader(m_buffer).At<std::uint16_t>(kFlagsOffset).value_or(0);
}

std::unique_ptr<CFileRecord> CFileRecord::CreateExtensionRecord() {
    if (m_gatherDepth >= kMaxAttributeListDepth || m_root->m_extensionLoads >= kMaxExtensionLoads) {
        return nullptr;
    }
    ++m_root->m_extensionLoads;
    auto extension = std::make_unique<CFileRecord>(m_volume);
    extension->m_root = m_root;
    extension->m_gatherDepth = m_gatherDepth + 1;
    return extension;
}

bool CFileRecord::LoadRecord(std::uint64_t n) {
    ClearAttributes();
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    std::vector<std::uint8_t> bytes;
    if (!ReadRawRecord(n, bytes)) {
        m_recordNumber = kNoRecord;
        return false;
    }
    m_recordNumber = n;
    const platform::LeReader reader(bytes);
    const auto firstAttribute = reader.At<std::uint16_t>(kFirstAttributeOffset);
    // The walk reads a type code at the first attribute; an offset that leaves no room for it
    // refuses the record here rather than later.
    if (reader.At<std::uint32_t>(kMagicOffset) != kFileMagic || !firstAttribute ||
        !reader.At<std::uint32_t>(*firstAttribute) || !ApplyUpdateSequence(bytes)) {
        return false;
    }
    m_buffer = std::move(bytes);
    if (m_deletedOnly) {
        return (Flags() & kInUseFlag) == 0;
    }
    return true;
}

bool CFileRecord::ReadRawRecord(std::uint64_t n, std::vector<std::uint8_t>& bytes) const {
    if (m_volume == nullptr || m_volume->RecordSize() == 0) {
        return false;
    }
    const std::uint32_t recordSize = m_volume->RecordSize();
    if (n > UINT64_MAX / recordSize) {
        return false;
    }
    const std::uint64_t position = n * recordSize;
    constexpr std::uint64_t kFirstRecordThroughMftData = 16;
    CAttrBase* mftData = m_volume->MftData();
    if (n >= kFirstRecordThroughMftData && mftData != nullptr) {
        bytes.assign(recordSize, 0);
        std::uint32_t got = 0;
        if (!mftData->ReadValueAt(position, bytes.data(), recordSize, &got) || got != recordSize) {
            bytes.clear();
            return false;
        }
        return true;
    }
    if (position > UINT64_MAX - m_volume->MftOffset()) {
        return false;
    }
    bytes.assign(recordSize, 0);
    if (!m_volume->ReadVolumeBytes(m_volume->MftOffset() + position, bytes.data(), recordSize)) {
        bytes.clear();
        return false;
    }
    return true;
}

bool CFileRecord::ApplyUpdateSequence(std::span<std::uint8_t> bytes) const {
    const std::uint16_t sectorSize = m_volume->SectorSize();
    if (sectorSize < 2) {
        return false;
    }
    const std::size_t sectors = bytes.size() / sectorSize;
    const platform::LeReader reader(bytes);
    const auto usaOffset = reader.At<std::uint16_t>(kUpdateSequenceOffset);
    // The key and one saved value per sector must all lie inside the record.
    if (!usaOffset || !reader.Bytes(*usaOffset, 2 + 2 * sectors)) {
        return false;
    }
    const std::uint16_t key = *reader.At<std::uint16_t>(*usaOffset);
    for (std::size_t i = 0; i < sectors; ++i) {
        const std::size_t tail = i * sectorSize + sectorSize - 2;
        if (*reader.At<std::uint16_t>(tail) != key) {
            return false; // a torn write: this sector is not from the same update as the first
        }
        const std::size_t saved = *usaOffset + 2 + 2 * i;
        bytes[tail] = bytes[saved];
        bytes[tail + 1] = bytes[saved + 1];
    }
    return true;
}

bool CFileRecord::ParseAttributes() {
    ClearAttributes();
    if (m_root == this) {
        m_extensionLoads = 0;
    }
    const platform::LeReader reader(m_buffer);
    const auto first = reader.At<std::uint16_t>(kFirstAttributeOffset);
    if (!first) {
        return false;
    }
    const std::size_t recordSize = m_buffer.size();
    std::size_t offset = *first;
    for (;;) {
        const auto type = reader.At<std::uint32_t>(offset + attr_header::kTypeCode);
        const auto length = reader.At<std::uint32_t>(offset + attr_header::kLength);
        if (!type || *type == attr_header::kEndMarker) {
            break;
        }
        // An attribute running past the record, or one whose length would not move the walk
        // on, ends the walk; what was built before it stands.
        if (!length || *length == 0 || *length > recordSize - offset) {
            break;
        }
        const std::uint32_t bit = ((*type >> 4) - 1) % 32;
        if ((m_attrMask & (1u << bit)) != 0) {
            if (!AddAttribute(std::span<const std::uint8_t>(m_buffer).subspan(offset, *length))) {
                return false;
            }
            // A type code such as 0x11 shares the list but not the class.
            auto* stdInfo = dynamic_cast<CAttr_StdInfo*>(m_attrLists[0].First());
            if (stdInfo != nullptr &&
                (stdInfo->HasEncryptedFlag() || stdInfo->HasCompressedFlag())) {
                return false;
            }
        }
        offset += *length;
    }
    return true;
}

bool CFileRecord::AddAttribute(std::span<const std::uint8_t> header) {
    const std::uint32_t type = platform::LeReader(header).At<std::uint32_t>(0).value_or(0);
    const std::uint32_t k = (type >> 4) - 1;
    if (k >= kAttrListCount) {
        return false;
    }
    auto attribute = CreateAttribute(header);
    if (!attribute) {
        return false;
    }
    return m_attrLists[k].Append(std::move(attribute));
}

std::unique_ptr<CAttrBase> CFileRecord::CreateAttribute(std::span<const std::uint8_t> header) {
    const platform::LeReader reader(header);
    const std::uint32_t type = reader.At<std::uint32_t>(attr_header::kTypeCode).value_or(0);
    const bool nonResident =
        reader.At<std::uint8_t>(attr_header::kNonResidentFlag).value_or(0) != 0;
    switch (type) {
    case attr_header::kStandardInformation:
        return std::make_unique<CAttr_StdInfo>(header, *this);
    case attr_header::kAttributeList:
        if (nonResident) {
            return std::make_unique<CAttr_AttrList<CAttrNonResident>>(header, *this);
        }
        return std::make_unique<CAttr_AttrList<CAttrResident>>(header, *this);
    case attr_header::kFileName:
        return std::make_unique<CAttr_FileName>(header, *this);
    case attr_header::kVolumeName:
        return std::make_unique<CAttr_VolName>(header, *this);
    case attr_header::kVolumeInformation:
        return std::make_unique<CAttr_VolInfo>(header, *this);
    case attr_header::kData:
        if (nonResident) {
            return std::make_unique<CAttr_Data<CAttrNonResident>>(header, *this);
        }
        return std::make_unique<CAttr_Data<CAttrResident>>(header, *this);
    case attr_header::kIndexRoot:
        return std::make_unique<CAttr_IndexRoot>(header, *this);
    case attr_header::kIndexAllocation:
        return std::make_unique<CAttr_IndexAlloc>(header, *this);
    case attr_header::kBitmap:
        if (nonResident) {
            return std::make_unique<CAttr_Bitmap<CAttrNonResident>>(header, *this);
        }
        return std::make_unique<CAttr_Bitmap<CAttrResident>>(header, *this);
    default:
        if (nonResident) {
            return std::make_unique<CAttrNonResident>(header, *this);
        }
        return std::make_unique<CAttrResident>(header, *this);
    }
}

void CFileRecord::ClearAttributes() {
    for (auto& list : m_attrLists) {
        list.Clear();
    }
    m_unnamedDataJoined = false;
}

std::int32_t CFileRecord::GetAnsiName(std::array<char, kAnsiNameCapacity>& buffer) {
    CSList<CAttrBase>& names = m_attrLists[(attr_header::kFileName >> 4) - 1];
    for (CAttrBase* attribute = names.First(); attribute != nullptr; attribute = names.Next()) {
        const auto* name = dynamic_cast<const CAttr_FileName*>(attribute);
        if (name == nullptr || name->FileNameLength() == 0 ||
            name->GetNamespace() == CFileName::kDosNamespace) {
            continue;
        }
        const std::int32_t n =
            name->CopyNameAnsi(buffer.data(), static_cast<std::int32_t>(buffer.size()));
        if (n != 0) {
            return n;
        }
    }
    return 0;
}

CAttrBase* CFileRecord::FindUnnamedData() {
    CSList<CAttrBase>& data = m_attrLists[(attr_header::kData >> 4) - 1];
    CAttrBase* first = nullptr;
    std::vector<CAttrNonResident*> pieces;
    for (CAttrBase* attribute = data.First(); attribute != nullptr; attribute = data.Next()) {
        if (attribute->NameLength() != 0) {
            continue;
        }
        if (first == nullptr) {
            first = attribute;
        }
        if (auto* piece = dynamic_cast<CAttrNonResident*>(attribute)) {
            pieces.push_back(piece);
        }
    }
    // The gathering of an attribute list may put a later piece first; the stream starts with
    // the piece at VCN 0, and the others continue it in VCN order.
    std::sort(pieces.begin(), pieces.end(),
              [](const CAttrNonResident* a, const CAttrNonResident* b) {
                  return a->StartingVcn() < b->StartingVcn();
              });
    if (pieces.size() < 2 || pieces.front()->StartingVcn() != 0) {
        return first;
    }
    if (!m_unnamedDataJoined) {
        m_unnamedDataJoined = true;
        // A gap or an overlap ends the joining: what follows cannot be placed, and a read
        // beyond the joined pieces then fails rather than invent bytes.
        for (std::size_t i = 1; i < pieces.size() && pieces.front()->AppendExtent(*pieces[i]);
             ++i) {
        }
    }
    return pieces.front();
}
