// File records: loading with the update sequence, damaged headers, and the attribute walk.
#include "ntfs/attr_file_name.h"
#include "ntfs/attr_non_resident.h"
#include "ntfs/attr_resident.h"
#include "tests/ntfs/test_volume.h"

#include <gtest/gtest.h>

namespace {

using namespace ntfs_test;

constexpr std::uint64_t kRecord = 20;

struct LoadCase {
    const char* name;
    RecordLayout layout;
    bool deletedOnly;
    bool loads;
    bool keepsBuffer;
};

RecordLayout Plain(bool inUse) {
    return RecordLayout{inUse, {StdInfo(), FileName("a.txt")}};
}
RecordLayout Torn(std::size_t sector) {
    RecordLayout s = Plain(true);
    s.tornSector = sector;
    return s;
}
RecordLayout WithUsa(std::uint16_t usa) {
    RecordLayout s = Plain(true);
    s.updateSequenceOffset = usa;
    return s;
}
RecordLayout WithFirst(std::uint16_t first) {
    RecordLayout s = Plain(true);
    s.firstAttributeOffset = first;
    return s;
}
RecordLayout BadMagic() {
    RecordLayout s = Plain(true);
    s.badMagic = true;
    return s;
}

TEST(FileRecordLoad, Table) {
    const LoadCase cases[] = {
        {"in use", Plain(true), false, true, true},
        {"deleted-only refuses a record in use but keeps its bytes", Plain(true), true, false,
         true},
        {"deleted-only accepts a record not in use", Plain(false), true, true, true},
        {"torn first sector", Torn(0), false, false, false},
        {"torn last sector", Torn(1), false, false, false},
        {"wrong magic", BadMagic(), false, false, false},
        {"update sequence array runs past the record", WithUsa(1020), false, false, false},
        {"update sequence offset far outside", WithUsa(0xFFF0), false, false, false},
        {"first attribute offset outside", WithFirst(0xFFFF), false, false, false},
        {"first attribute offset leaves no room for a type code", WithFirst(1022), false, false,
         false},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder;
        builder.SetRecord(kRecord, c.layout);
        auto opened = OpenImage(builder.Build());
        ASSERT_TRUE(opened.volume->IsReady());
        CFileRecord record(opened.volume.get());
        record.SetDeletedOnly(c.deletedOnly);
        EXPECT_EQ(record.LoadRecord(kRecord), c.loads);
        EXPECT_EQ(record.RecordNumber(), kRecord);
        EXPECT_EQ(record.Buffer().size(), c.keepsBuffer ? 1024u : 0u);
        if (c.keepsBuffer) {
            // The fix-up put the saved bytes back: the end of sector 0 is the record's own.
            EXPECT_NE(record.Buffer()[510] | (record.Buffer()[511] << 8), 0x0001);
        }
    }
}

TEST(FileRecordLoad, ReadFailureForgetsTheNumber) {
    ImageBuilder builder;
    auto opened = OpenImage(builder.Build());
    CFileRecord record(opened.volume.get());
    EXPECT_FALSE(record.LoadRecord(1ull << 40)); // beyond the table's data
    EXPECT_EQ(record.RecordNumber(), CFileRecord::kNoRecord);
    EXPECT_TRUE(record.Buffer().empty());
    EXPECT_FALSE(record.LoadRecord(~0ull)); // the byte offset overflows
    EXPECT_EQ(record.RecordNumber(), CFileRecord::kNoRecord);
}

TEST(FileRecordLoad, LowRecordsFromTheDeviceHigherOnesThroughTheTablesRuns) {
    // The table's first extent holds records 0-7; the rest lies at cluster 100. Where a
    // contiguous table would have records 15 and 16, decoys are written.
    ImageBuilder builder;
    builder.SetMftLayout({{4, 2}, {100, 14}});
    builder.SetRecord(15, RecordLayout{true, {StdInfo(), FileName("table15")}});
    builder.SetRecord(16, RecordLayout{true, {StdInfo(), FileName("table16")}});
    ImageBuilder decoys;
    decoys.SetMftLayout({{4, 16}});
    decoys.SetRecord(15, RecordLayout{true, {StdInfo(), FileName("device15")}});
    decoys.SetRecord(16, RecordLayout{true, {StdInfo(), FileName("device16")}});
    const Bytes decoyImage = decoys.Build();
    builder.WriteClusters(7, Bytes(decoyImage.begin() + 7 * 4096, decoyImage.begin() + 9 * 4096));
    auto opened = OpenImage(builder.Build());
    ASSERT_TRUE(opened.volume->IsReady());
    ASSERT_NE(opened.volume->MftData(), nullptr);
    const std::pair<std::uint64_t, const char*> want[] = {{15, "device15"}, {16, "table16"}};
    for (const auto& [n, name] : want) {
        CFileRecord record(opened.volume.get());
        ASSERT_TRUE(record.LoadRecord(n));
        ASSERT_TRUE(record.ParseAttributes());
        std::array<char, CFileRecord::kAnsiNameCapacity> buffer{};
        ASSERT_GT(record.GetAnsiName(buffer), 0);
        EXPECT_STREQ(buffer.data(), name);
    }
}

struct ParseCase {
    const char* name;
    std::vector<Attribute> attributes;
    std::uint32_t mask;
    bool noEndMarker;
    bool parses;
    std::vector<std::pair<std::uint32_t, int>> counts; // list index, elements
};

Attribute Generic(std::uint32_t type) {
    return ResidentAttribute(type, Bytes(8, 1));
}
Attribute ZeroLength() {
    Attribute a = Generic(0x40);
    a.bytes[4] = a.bytes[5] = a.bytes[6] = a.bytes[7] = 0;
    return a;
}
Attribute TooLong() {
    Attribute a = Generic(0x40);
    a.bytes[5] = 0x10; // 4 KB: past the 1 KB record
    return a;
}

TEST(FileRecordParse, Table) {
    const ParseCase cases[] = {
        {"all lists",
         {StdInfo(), FileName("x"), Generic(0x40), ResidentAttribute(0x80, {1})},
         ~0u,
         false,
         true,
         {{0, 1}, {2, 1}, {3, 1}, {7, 1}}},
        {"type 0x40 skipped without its mask bit",
         {StdInfo(), Generic(0x40)},
         0x87,
         false,
         true,
         {{0, 1}, {3, 0}}},
        {"attribute running past the record ends the walk",
         {StdInfo(), FileName("x"), TooLong(), FileName("y")},
         ~0u,
         false,
         true,
         {{0, 1}, {2, 1}, {3, 0}}},
        {"attribute of length 0 ends the walk",
         {StdInfo(), ZeroLength(), FileName("y")},
         ~0u,
         false,
         true,
         {{0, 1}, {2, 0}}},
        {"compressed file", {StdInfo(0x0800), FileName("x")}, 0x87, false, false, {{0, 1}}},
        {"encrypted file", {StdInfo(0x4000), FileName("x")}, 0x87, false, false, {{0, 1}}},
        {"compressed flag unseen without 0x10 in the mask",
         {StdInfo(0x0800), FileName("x")},
         0x04,
         false,
         true,
         {{0, 0}, {2, 1}}},
        {"type code 0 selected by an all-ones mask fails",
         {StdInfo(), Generic(0x00)},
         ~0u,
         false,
         false,
         {{0, 1}}},
        {"type code 0x110 selected fails", {StdInfo(), Generic(0x110)}, ~0u, false, false, {}},
        {"type 0x11 shares the standard information list but is not read as one",
         {Generic(0x11), StdInfo(0x4000)},
         ~0u,
         false,
         true,
         {{0, 2}}},
        {"no end marker: the walk stops at the record's end",
         {StdInfo(), FileName("x")},
         ~0u,
         true,
         true,
         {{0, 1}, {2, 1}}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder;
        RecordLayout layout{true, c.attributes};
        layout.noEndMarker = c.noEndMarker;
        builder.SetRecord(kRecord, layout);
        auto opened = OpenImage(builder.Build());
        CFileRecord record(opened.volume.get());
        record.SetAttrMask(c.mask);
        ASSERT_TRUE(record.LoadRecord(kRecord));
        EXPECT_EQ(record.ParseAttributes(), c.parses);
        for (const auto& [list, count] : c.counts) {
            EXPECT_EQ(record.AttrList(list).Count(), count) << "list " << list;
        }
    }
}

TEST(FileRecordParse, FixedClassesIgnoreAWrongResidencyClaim) {
    // Standard information, file name, volume name and information and index root claim to be
    // non-resident; index allocation claims to be resident. Each is built into its fixed class
    // and reads only inside the record.
    std::vector<Attribute> attributes;
    for (std::uint32_t type : {0x10u, 0x30u, 0x60u, 0x70u, 0x90u}) {
        attributes.push_back(NonResidentAttribute(type, EncodeRuns({{60, 1}}), 0, 0, 4096, 4096));
    }
    Attribute alloc = ResidentAttribute(0xA0, Bytes(0x30, 0xFF));
    attributes.push_back(alloc);
    Attribute shortAlloc = ResidentAttribute(0xA0, {});
    attributes.push_back(shortAlloc);
    ImageBuilder builder;
    auto opened = OpenRecord(builder, kRecord, attributes);
    ASSERT_TRUE(opened.loaded);
    EXPECT_TRUE(opened.parsed);
    EXPECT_EQ(opened.record->AttrList(ListOf(0xA0)).Count(), 2);
    std::array<char, CFileRecord::kAnsiNameCapacity> buffer{};
    EXPECT_EQ(opened.record->GetAnsiName(buffer), 0);
    for (CAttrBase* a = opened.record->AttrList(ListOf(0xA0)).First(); a != nullptr;
         a = opened.record->AttrList(ListOf(0xA0)).Next()) {
        std::uint8_t b[64];
        std::uint32_t n = 0;
        (void)a->ReadValueAt(0, b, sizeof b, &n);
        EXPECT_LE(n, sizeof b);
    }
}

TEST(FileRecordNames, FirstUsableNameAndUnnamedData) {
    ImageBuilder builder;
    auto opened =
        OpenRecord(builder, kRecord,
                   {StdInfo(), FileName("REPORT~1.DOC", CFileName::kDosNamespace),
                    FileName("report.docx", CFileName::kWin32Namespace),
                    FileName("other", CFileName::kPosixNamespace),
                    ResidentAttribute(0x80, {1, 2}, "stream"), ResidentAttribute(0x80, {3, 4, 5})});
    ASSERT_TRUE(opened.parsed);
    std::array<char, CFileRecord::kAnsiNameCapacity> buffer{};
    EXPECT_EQ(opened.record->GetAnsiName(buffer), 11);
    EXPECT_STREQ(buffer.data(), "report.docx");
    CAttrBase* data = opened.record->FindUnnamedData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->QueryDataLength(nullptr), 3u);

    ImageBuilder dosOnly;
    auto onlyDos = OpenRecord(dosOnly, kRecord,
                              {StdInfo(), FileName("REPORT~1.DOC", CFileName::kDosNamespace),
                               ResidentAttribute(0x80, {1}, "named")});
    ASSERT_TRUE(onlyDos.parsed);
    EXPECT_EQ(onlyDos.record->GetAnsiName(buffer), 0);
    EXPECT_EQ(onlyDos.record->FindUnnamedData(), nullptr);
}

TEST(FileRecordParse, ReloadClearsAndRebuilds) {
    ImageBuilder builder;
    builder.SetRecord(21, RecordLayout{true, {StdInfo(), FileName("second")}});
    auto opened = OpenRecord(builder, kRecord, {StdInfo(), FileName("first"), FileName("again")});
    ASSERT_TRUE(opened.parsed);
    EXPECT_EQ(opened.record->AttrList(ListOf(0x30)).Count(), 2);
    ASSERT_TRUE(opened.record->ParseAttributes());
    EXPECT_EQ(opened.record->AttrList(ListOf(0x30)).Count(), 2) << "a second parse must not add";
    ASSERT_TRUE(opened.record->LoadRecord(21));
    EXPECT_EQ(opened.record->AttrList(ListOf(0x30)).Count(), 0);
    ASSERT_TRUE(opened.record->ParseAttributes());
    std::array<char, CFileRecord::kAnsiNameCapacity> buffer{};
    opened.record->GetAnsiName(buffer);
    EXPECT_STREQ(buffer.data(), "second");
}

} // namespace
