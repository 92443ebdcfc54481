// CAttrBase: the contract through which every attribute's data is read, whether it lies in the
// file record or in clusters of the volume.
#pragma once

#include <cstdint>
#include <span>

namespace platform {
class RawDevice;
}
class CFileRecord;

class CAttrBase {
public:
    // `header` covers the whole attribute (its declared length) inside the record's buffer,
    // which must outlive this object.
    CAttrBase(std::span<const std::uint8_t> header, const CFileRecord& record);
    virtual ~CAttrBase() = default;
    CAttrBase(const CAttrBase&) = delete;
    CAttrBase& operator=(const CAttrBase&) = delete;

    [[nodiscard]] virtual bool IsDataValid() const = 0;
    // Size of the readable data; `allocatedSize` (may be null) receives the allocated size.
    virtual std::uint64_t QueryDataLength(std::uint64_t* allocatedSize) const = 0;
    // Reads up to `length` bytes at `offset`; `bytesRead` (may be null) receives how many were
    // copied. False when the range cannot be read; the buffer may then be partly written.
    virtual bool ReadValueAt(std::uint64_t offset, void* buffer, std::uint32_t length,
                             std::uint32_t* bytesRead) = 0;

    [[nodiscard]] std::span<const std::uint8_t> GetHeader() const { return m_header; }
    [[nodiscard]] std::uint32_t TypeCode() const;
    [[nodiscard]] bool IsNonResident() const;
    // Name length in UTF-16 units; 0 for an unnamed attribute.
    [[nodiscard]] std::uint8_t NameLength() const;
    [[nodiscard]] const CFileRecord* FileRecord() const { return m_fileRecord; }

protected:
    std::span<const std::uint8_t> m_header;
    std::uint16_t m_sectorSize;
    std::uint32_t m_clusterSize;
    std::uint32_t m_indexBlockSize;
    const platform::RawDevice* m_device;
    std::uint64_t m_volumeStart; // byte offset of the volume on the device (partition start)
    const CFileRecord* m_fileRecord;
};
