// Data runs: decoding the mapping pairs and reading a byte range through them.
#include "ntfs/attr_non_resident.h"

#include "ntfs/attr_header.h"
#include "platform/le_reader.h"
#include "platform/raw_device.h"

#include <algorithm>
#include <cstring>

namespace {

// A run header's nibbles give the byte counts of its length and offset fields.
constexpr unsigned kMaxRunFieldBytes = 8;

struct MappingPair {
    std::uint64_t length = 0;
    std::int64_t offset = 0;
};

// One run at `pos` (its header byte). False for a malformed run or one cut off by the end of
// the attribute; `pos` then stays where it was.
bool DecodeMappingPair(const platform::LeReader& reader, std::size_t& pos, MappingPair& pair) {
    const auto header = reader.At<std::uint8_t>(pos);
    if (!header) {
        return false;
    }
    const unsigned lengthBytes = *header & 0x0F;
    const unsigned offsetBytes = *header >> 4;
    if (lengthBytes > kMaxRunFieldBytes || offsetBytes > kMaxRunFieldBytes) {
        return false;
    }
    const auto fields = reader.Bytes(pos + 1, lengthBytes + offsetBytes);
    if (!fields) {
        return false;
    }
    std::uint64_t length = 0;
    for (unsigned i = lengthBytes; i-- > 0;) {
        length = (length << 8) | (*fields)[i];
    }
    if (static_cast<std::int64_t>(length) < 0) {
        return false;
    }
    std::uint64_t offset = 0;
    if (offsetBytes != 0) {
        const bool negative = ((*fields)[lengthBytes + offsetBytes - 1] & 0x80) != 0;
        offset = negative ? ~std::uint64_t{0} : 0;
        for (unsigned i = offsetBytes; i-- > 0;) {
            offset = (offset << 8) | (*fields)[lengthBytes + i];
        }
    }
    pos += 1 + lengthBytes + offsetBytes;
    pair.length = length;
    pair.offset = static_cast<std::int64_t>(offset);
    return true;
}

} // namespace

CAttrNonResident::CAttrNonResident(std::span<const std::uint8_t> header, const CFileRecord& record)
    : CAttrBase(header, record) {
    const platform::LeReader reader(header);
    m_startingVcn = reader.At<std::uint64_t>(attr_header::kStartingVcn).value_or(0);
    m_lastVcn = reader.At<std::uint64_t>(attr_header::kLastVcn).value_or(0);
    m_allocatedSize = reader.At<std::uint64_t>(attr_header::kAllocatedSize).value_or(0);
    m_dataSize = reader.At<std::uint64_t>(attr_header::kDataSize).value_or(0);
    m_runsValid = DecodeRunList(header, m_lastVcn - m_startingVcn, m_runList);
}

bool CAttrNonResident::DecodeRunList(std::span<const std::uint8_t> header, std::uint64_t vcnSpan,
                                     CSList<tagDataRun_Entry>& runs) {
    const platform::LeReader reader(header);
    const auto runsOffset = reader.At<std::uint16_t>(attr_header::kRunsOffset);
    if (!runsOffset) {
        return false; // too short to be a non-resident header at all
    }
    std::size_t pos = *runsOffset;
    // A run list that lacks its zero byte ends where the attribute ends.
    auto atEnd = [&] { return reader.At<std::uint8_t>(pos).value_or(0) == 0; };
    if (atEnd()) {
        return true;
    }
    std::uint64_t vcn = 0;
    std::int64_t lcn = 0;
    for (;;) {
        MappingPair pair;
        if (!DecodeMappingPair(reader, pos, pair)) {
            return true;
        }
        // Signed overflow is undefined; the sum wraps the way the disk format means it.
        lcn = static_cast<std::int64_t>(static_cast<std::uint64_t>(lcn) +
                                        static_cast<std::uint64_t>(pair.offset));
        if (lcn < 0) {
            return false;
        }
        auto entry = std::make_unique<tagDataRun_Entry>();
        entry->lcn = pair.offset == 0 ? tagDataRun_Entry::kSparseLcn : lcn;
        entry->clusters = pair.length;
        entry->startVcn = vcn;
        entry->lastVcn = vcn + pair.length - 1;
        vcn += pair.length;
        if (entry->lastVcn > vcnSpan) {
            runs.Clear();
            return false;
        }
        runs.Append(std::move(entry));
        if (atEnd()) {
            return true;
        }
    }
}

bool CAttrNonResident::AppendExtent(CAttrNonResident& extent) {
    if (!m_runsValid || !extent.m_runsValid || m_lastVcn == UINT64_MAX ||
        extent.m_startingVcn != m_lastVcn + 1 || extent.m_lastVcn < extent.m_startingVcn) {
        return false;
    }
    // Runs count their VCNs from the start of their own piece; here they continue this one's.
    const std::uint64_t shift = extent.m_startingVcn - m_startingVcn;
    for (const tagDataRun_Entry* run = extent.m_runList.First(); run != nullptr;
         run = extent.m_runList.Next()) {
        auto copy = std::make_unique<tagDataRun_Entry>(*run);
        copy->startVcn += shift;
        copy->lastVcn += shift;
        m_runList.Append(std::move(copy));
    }
    m_lastVcn = extent.m_lastVcn;
    return true;
}

std::uint64_t CAttrNonResident::QueryDataLength(std::uint64_t* allocatedSize) const {
    if (allocatedSize != nullptr) {
        *allocatedSize = m_allocatedSize;
    }
    return m_dataSize;
}

bool CAttrNonResident::ReadByLcn(std::int64_t lcn, std::uint64_t count, std::uint8_t* buffer) {
    const std::uint64_t bytes = count * m_clusterSize; // callers keep this within their buffer
    if (lcn == tagDataRun_Entry::kSparseLcn) {
        std::memset(buffer, 0, bytes);
        return true;
    }
    const auto cluster = static_cast<std::uint64_t>(lcn);
    if (m_device == nullptr || m_clusterSize == 0 || bytes > UINT32_MAX ||
        cluster > (UINT64_MAX - m_volumeStart) / m_clusterSize) {
        return false;
    }
    return m_device->ReadAt(m_volumeStart + cluster * m_clusterSize, buffer,
                            static_cast<std::uint32_t>(bytes));
}

bool CAttrNonResident::ReadByVcn(std::uint64_t vcn, std::uint64_t count, std::uint8_t* buffer,
                                 std::uint64_t bufferSize, std::uint64_t* bytesRead) {
    *bytesRead = 0;
    const std::uint64_t span = m_lastVcn - m_startingVcn + 1;
    if (count > span || vcn > span - count || m_clusterSize == 0 ||
        count > bufferSize / m_clusterSize) {
        return false;
    }
    std::uint64_t clustersRead = 0;
    for (tagDataRun_Entry* run = m_runList.First(); run != nullptr && count != 0;
         run = m_runList.Next()) {
        if (vcn < run->startVcn || vcn > run->lastVcn) {
            continue; // a gap between runs is skipped; the caller sees a short result
        }
        const std::uint64_t n = std::min(count, run->lastVcn - vcn + 1);
        const std::int64_t lcn =
            run->lcn == tagDataRun_Entry::kSparseLcn
                ? tagDataRun_Entry::kSparseLcn
                : static_cast<std::int64_t>(static_cast<std::uint64_t>(run->lcn) +
                                            (vcn - run->startVcn));
        if (lcn < 0 && lcn != tagDataRun_Entry::kSparseLcn) {
            break;
        }
        if (!ReadByLcn(lcn, n, buffer)) {
            break;
        }
        clustersRead += n;
        buffer += n * m_clusterSize;
        count -= n;
        vcn += n;
    }
    *bytesRead = clustersRead * m_clusterSize;
    return true;
}

bool CAttrNonResident::ReadOneCluster(std::uint64_t vcn) {
    if (!m_clusterBuffer) {
        m_clusterBuffer = std::make_unique<std::uint8_t[]>(m_clusterSize);
    }
    std::uint64_t got = 0;
    return ReadByVcn(vcn, 1, m_clusterBuffer.get(), m_clusterSize, &got) && got == m_clusterSize;
}

bool CAttrNonResident::ReadValueAt(std::uint64_t offset, void* buffer, std::uint32_t length,
                                   std::uint32_t* bytesRead) {
    std::uint32_t done = 0;
    auto report = [&](bool ok) {
        if (bytesRead != nullptr) {
            *bytesRead = done;
        }
        return ok;
    };
    if (length == 0) {
        return report(true);
    }
    if (offset > m_dataSize || m_clusterSize == 0) {
        return report(false);
    }
    if (length > m_dataSize - offset) {
        length = static_cast<std::uint32_t>(m_dataSize - offset);
    }
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint64_t vcn = offset / m_clusterSize;
    const std::uint64_t r = offset % m_clusterSize;
    if (r != 0) {
        if (!ReadOneCluster(vcn)) {
            return report(false);
        }
        const auto n =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(m_clusterSize - r, length));
        std::memcpy(out, m_clusterBuffer.get() + r, n);
        done += n;
        out += n;
        length -= n;
        ++vcn;
    }
    if (length == 0) {
        return report(true);
    }
    const std::uint64_t k = length / m_clusterSize;
    if (k != 0) {
        std::uint64_t got = 0;
        if (!ReadByVcn(vcn, k, out, k * m_clusterSize, &got) || got != k * m_clusterSize) {
            return report(false);
        }
        done += static_cast<std::uint32_t>(got);
        out += got;
        vcn += k;
        length %= m_clusterSize;
        if (length == 0) {
            return report(true);
        }
    }
    if (!ReadOneCluster(vcn)) {
        return report(false);
    }
    std::memcpy(out, m_clusterBuffer.get(), length);
    done += length;
    return report(true);
}
