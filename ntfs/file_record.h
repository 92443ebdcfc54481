// CFileRecord: one record of the master file table, read by number, fixed up and split into
// attribute objects, one list per attribute type.
#pragma once

#include "ntfs/attr_base.h"
#include "ntfs/slist.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class CNTFSVolume;
namespace platform {
class File;
}

class CFileRecord {
public:
    static constexpr std::uint64_t kNoRecord = ~std::uint64_t{0};
    static constexpr std::uint32_t kAttrListCount = 16;
    static constexpr std::uint32_t kAllAttributes = ~std::uint32_t{0};
    // Capacity, terminating zero included, of the buffer GetAnsiName fills.
    static constexpr std::size_t kAnsiNameCapacity = 260;

    explicit CFileRecord(const CNTFSVolume* volume);
    virtual ~CFileRecord();
    CFileRecord(const CFileRecord&) = delete;
    CFileRecord& operator=(const CFileRecord&) = delete;

    // Reads record `n`, checks its magic and undoes its update sequence. In deleted-only mode a
    // record in use gives false (its bytes are kept).
    bool LoadRecord(std::uint64_t n);
    // Builds the attribute objects of the types selected by the mask from the loaded record.
    // False for a selected type outside 0x10..0x100 and for a compressed or encrypted file.
    bool ParseAttributes();

    // The first POSIX, Win32 or Win32-and-DOS name that converts to the ANSI code page, with
    // its length in bytes; 0 when there is none.
    std::int32_t GetAnsiName(std::array<char, kAnsiNameCapacity>& buffer);
    // The unnamed $DATA attribute, or null. When an attribute list split it over several
    // records, the piece that starts at VCN 0 is returned with the runs of the pieces that
    // continue it joined on, so that the whole stream reads through it.
    CAttrBase* FindUnnamedData();

    // Copies the unnamed data stream into `file` in 64 KB pieces, asking first when it is over
    // 100 MB. False when `file` is not open ("File creation failed"), when the question is
    // declined, when a read fails or comes up short ("Read data error"), or when a write fails:
    // the caller then removes the file. A record without unnamed data gives an empty file.
    bool CopyDataToFile(platform::File& file);

    [[nodiscard]] CSList<CAttrBase>& AttrList(std::uint32_t k) { return m_attrLists[k]; }
    [[nodiscard]] const CNTFSVolume* Volume() const { return m_volume; }
    [[nodiscard]] std::uint64_t RecordNumber() const { return m_recordNumber; }
    [[nodiscard]] std::uint32_t AttrMask() const { return m_attrMask; }
    void SetAttrMask(std::uint32_t mask) { m_attrMask = mask; }
    [[nodiscard]] bool DeletedOnly() const { return m_deletedOnly; }
    void SetDeletedOnly(bool deletedOnly) { m_deletedOnly = deletedOnly; }
    // The loaded record after the update sequence fix-up; empty when none is loaded.
    [[nodiscard]] std::span<const std::uint8_t> Buffer() const { return m_buffer; }
    // The 16-bit flags of the record header (bit 0: in use); 0 when none is loaded.
    [[nodiscard]] std::uint16_t Flags() const;

    // A record for an attribute list to load an extension record into: it shares this record's
    // budget of extension loads and sits one level deeper. Null when the nesting is too deep
    // or the budget is spent, which is how hostile or cyclic attribute lists end.
    std::unique_ptr<CFileRecord> CreateExtensionRecord();

private:
    bool ReadRawRecord(std::uint64_t n, std::vector<std::uint8_t>& bytes) const;
    bool ApplyUpdateSequence(std::span<std::uint8_t> bytes) const;
    bool AddAttribute(std::span<const std::uint8_t> header);
    std::unique_ptr<CAttrBase> CreateAttribute(std::span<const std::uint8_t> header);
    void ClearAttributes();

    const CNTFSVolume* m_volume;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_recordNumber = kNoRecord;
    std::uint32_t m_attrMask = kAllAttributes;
    std::array<CSList<CAttrBase>, kAttrListCount> m_attrLists;
    bool m_unnamedDataJoined = false; // FindUnnamedData has joined the pieces of this parse
    bool m_deletedOnly = false;

    // Attribute-list gathering: the record whose parse started it, and how deep this one is.
    CFileRecord* m_root = this;
    int m_gatherDepth = 0;
    std::uint32_t m_extensionLoads = 0; // counted on the root only
};
