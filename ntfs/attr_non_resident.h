// CAttrNonResident: an attribute whose value lies in clusters of the volume, located by its
// decoded data runs.
#pragma once

#include "ntfs/attr_base.h"
#include "ntfs/data_run_entry.h"
#include "ntfs/slist.h"

#include <memory>

class CAttrNonResident : public CAttrBase {
public:
    CAttrNonResident(std::span<const std::uint8_t> header, const CFileRecord& record);

    [[nodiscard]] bool IsDataValid() const override { return m_runsValid; }
    std::uint64_t QueryDataLength(std::uint64_t* allocatedSize) const override;
    bool ReadValueAt(std::uint64_t offset, void* buffer, std::uint32_t length,
                     std::uint32_t* bytesRead) override;

    [[nodiscard]] CSList<tagDataRun_Entry>& RunList() { return m_runList; }

    // Takes over the runs of `extent`, the piece of the same attribute that continues this one
    // at VCN LastVcn() + 1: an attribute list splits a long run list over several records, and
    // only the piece at VCN 0 knows the data size. False (nothing changed) when `extent` does
    // not continue this piece or either run list is invalid.
    bool AppendExtent(CAttrNonResident& extent);
    [[nodiscard]] std::uint64_t DataSize() const { return m_dataSize; }
    [[nodiscard]] std::uint64_t StartingVcn() const { return m_startingVcn; }
    [[nodiscard]] std::uint64_t LastVcn() const { return m_lastVcn; }

    // Decodes the mapping pairs of the attribute `header` (which spans the whole attribute) into
    // `runs`, which must be empty. `vcnSpan` is (last VCN - starting VCN) of the header: no run
    // may reach beyond it. Returns the runs-valid flag. Reads nothing outside `header`.
    static bool DecodeRunList(std::span<const std::uint8_t> header, std::uint64_t vcnSpan,
                              CSList<tagDataRun_Entry>& runs);

private:
    bool ReadByLcn(std::int64_t lcn, std::uint64_t count, std::uint8_t* buffer);
    bool ReadByVcn(std::uint64_t vcn, std::uint64_t count, std::uint8_t* buffer,
                   std::uint64_t bufferSize, std::uint64_t* bytesRead);
    bool ReadOneCluster(std::uint64_t vcn);

    CSList<tagDataRun_Entry> m_runList;
    bool m_runsValid = false;
    // One cluster for the partial first and last clusters of a read. Allocated on first use:
    // with 2 MB clusters an eager buffer per attribute would cost far more than the reads.
    std::unique_ptr<std::uint8_t[]> m_clusterBuffer;
    std::uint64_t m_startingVcn = 0;
    std::uint64_t m_lastVcn = 0;
    std::uint64_t m_allocatedSize = 0;
    std::uint64_t m_dataSize = 0;
};
