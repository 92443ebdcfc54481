// Attribute lists: which extension records are loaded, where their attributes land, and how
// damaged or hostile lists end.
#include "ntfs/attr_attr_list.h"
#include "ntfs/attr_resident.h"
#include "ntfs/file_name.h"
#include "tests/ntfs/test_volume.h"

#include <gtest/gtest.h>

namespace {

using namespace ntfs_test;

constexpr std::uint64_t kBase = 20;
constexpr std::uint64_t kExtension = 25;
constexpr std::uint32_t kRestoreMask = 0x87;

// First byte of each resident value in the record's $DATA list, in list order.
std::vector<int> DataTags(CFileRecord& record) {
    std::vector<int> tags;
    CSList<CAttrBase>& list = record.AttrList(ListOf(0x80));
    for (CAttrBase* a = list.First(); a != nullptr; a = list.Next()) {
        std::uint8_t b = 0;
        tags.push_back(a->ReadValueAt(0, &b, 1, nullptr) ? b : -1);
    }
    return tags;
}

int ExtensionCount(CFileRecord& record) {
    CSList<CAttrBase>& lists = record.AttrList(ListOf(0x20));
    int total = 0;
    for (CAttrBase* a = lists.First(); a != nullptr; a = lists.Next()) {
        if (auto* r = dynamic_cast<CAttr_AttrList<CAttrResident>*>(a)) {
            total += r->ExtensionRecords().Count();
        } else if (auto* n = dynamic_cast<CAttr_AttrList<CAttrNonResident>*>(a)) {
            total += n->ExtensionRecords().Count();
        }
    }
    return total;
}

struct ListCase {
    const char* name;
    std::vector<AttrListEntry> entries;
    std::uint32_t mask;
    std::vector<int> wantData; // tags: 1 the base's own $DATA, 2 record 25's, 3 record 26's
    int wantExtensions;
};

const ListCase kCases[] = {
    {"extension data first, then the base's own",
     {{0x10, kBase}, {0x80, kExtension}},
     kRestoreMask,
     {2, 1},
     1},
    {"mask without $DATA skips the entry", {{0x80, kExtension}}, 0x07, {}, 0},
    {"entries naming the base itself gather nothing",
     {{0x10, kBase}, {0x80, kBase}},
     kRestoreMask,
     {1},
     0},
    {"type 0 ends the walk", {{0x00, kExtension}, {0x80, kExtension}}, kRestoreMask, {1}, 0},
    {"type 0x110 is skipped, not ended",
     {{0x110, kExtension}, {0x80, 26}},
     kRestoreMask,
     {3, 1},
     1},
    {"type 0x120 ends the walk", {{0x120, kExtension}, {0x80, 26}}, kRestoreMask, {1}, 0},
    {"unreadable record ends the walk but stays owned",
     {{0x80, 9999}, {0x80, kExtension}},
     kRestoreMask,
     {1},
     1},
    {"two entries naming one record load it twice",
     {{0x80, kExtension}, {0x80, kExtension}},
     kRestoreMask,
     {2, 2, 1},
     2},
    {"entry order across records", {{0x80, 26}, {0x80, kExtension}}, kRestoreMask, {3, 2, 1}, 2},
    {"entry of length 0 is used once and ends the walk",
     {{0x80, kExtension, 0}, {0x80, 26}},
     kRestoreMask,
     {2, 1},
     1},
    {"longer entry steps over its name",
     {{0x80, kExtension, 48}, {0x80, 26}},
     kRestoreMask,
     {2, 3, 1},
     2},
};

ImageBuilder WithExtensions() {
    ImageBuilder builder;
    builder.SetRecord(kExtension, RecordLayout{true, {ResidentAttribute(0x80, {2})}});
    builder.SetRecord(26, RecordLayout{true, {ResidentAttribute(0x80, {3}), FileName("ignored")}});
    return builder;
}

TEST(AttributeList, ResidentTable) {
    for (const ListCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder = WithExtensions();
        auto opened = OpenRecord(builder, kBase,
                                 {StdInfo(), ResidentAttribute(0x20, AttrListValue(c.entries)),
                                  FileName("base"), ResidentAttribute(0x80, {1})},
                                 c.mask);
        ASSERT_TRUE(opened.parsed);
        EXPECT_EQ(DataTags(*opened.record), c.wantData);
        EXPECT_EQ(ExtensionCount(*opened.record), c.wantExtensions);
        EXPECT_EQ(opened.record->AttrList(ListOf(0x30)).Count(), (c.mask & 0x4) ? 1 : 0)
            << "only the listed type moves from an extension record";
    }
}

TEST(AttributeList, NonResidentListInClusters) {
    ImageBuilder builder = WithExtensions();
    const Bytes value = AttrListValue({{0x80, 26}, {0x80, kExtension}});
    builder.WriteClusters(60, value);
    auto opened = OpenRecord(
        builder, kBase,
        {StdInfo(), NonResidentAttribute(0x20, EncodeRuns({{60, 1}}), 0, 0, 4096, value.size()),
         ResidentAttribute(0x80, {1})},
        kRestoreMask);
    ASSERT_TRUE(opened.parsed);
    EXPECT_EQ(DataTags(*opened.record), (std::vector<int>{3, 2, 1}));
}

TEST(AttributeList, NonResidentListTooShortForOneEntry) {
    ImageBuilder builder = WithExtensions();
    builder.WriteClusters(60, AttrListValue({{0x80, kExtension}}));
    auto opened =
        OpenRecord(builder, kBase,
                   {StdInfo(), NonResidentAttribute(0x20, EncodeRuns({{60, 1}}), 0, 0, 4096, 16),
                    ResidentAttribute(0x80, {1})},
                   kRestoreMask);
    ASSERT_TRUE(opened.parsed);
    EXPECT_EQ(DataTags(*opened.record), (std::vector<int>{1}));
    EXPECT_EQ(ExtensionCount(*opened.record), 0);
}

TEST(AttributeList, CyclesAndFanOutEnd) {
    // Records 20 and 21 list each other's attribute lists; record 22 lists itself many times
    // through 21. The gathering must end, and the base record must still parse.
    ImageBuilder builder;
    std::vector<AttrListEntry> fan;
    for (int i = 0; i < 9; ++i) {
        fan.push_back({0x20, 20 + static_cast<std::uint64_t>(i % 3)});
    }
    builder.SetRecord(21, RecordLayout{true, {ResidentAttribute(0x20, AttrListValue(fan))}});
    builder.SetRecord(22, RecordLayout{true, {ResidentAttribute(0x20, AttrListValue(fan))}});
    auto opened = OpenRecord(
        builder, kBase,
        {StdInfo(), ResidentAttribute(0x20, AttrListValue(fan)), ResidentAttribute(0x80, {1})},
        kRestoreMask);
    ASSERT_TRUE(opened.loaded);
    EXPECT_TRUE(opened.parsed);
    EXPECT_EQ(DataTags(*opened.record), (std::vector<int>{1}));
}

TEST(AttributeList, WithoutALoadedRecordNothingIsGathered) {
    ImageBuilder builder = WithExtensions();
    builder.SetRecord(
        kBase,
        RecordLayout{true,
                     {StdInfo(), ResidentAttribute(0x20, AttrListValue({{0x80, kExtension}})),
                      ResidentAttribute(0x80, {1})}});
    auto opened = OpenImage(builder.Build());
    CFileRecord record(opened.volume.get());
    record.SetAttrMask(kRestoreMask);
    ASSERT_TRUE(record.LoadRecord(kBase));
    ASSERT_FALSE(record.LoadRecord(1ull << 40)); // number forgotten, buffer released
    EXPECT_EQ(record.RecordNumber(), CFileRecord::kNoRecord);
}

TEST(AttributeList, MasterFileTableDataSplitIntoAnExtensionRecord) {
    // Record 0 keeps a decoy $DATA of its own; the real one sits in extension record 12 behind
    // the attribute list, so it comes first and record 20 is found through it.
    ImageBuilder builder;
    builder.SetMftLayout({{4, 4}, {120, 12}});
    const Attribute realData = builder.MftDataAttribute();
    builder.SetRecord(
        0, RecordLayout{
               true,
               {StdInfo(), ResidentAttribute(0x20, AttrListValue({{0x10, 0}, {0x80, 12}})),
                FileName("$MFT"),
                NonResidentAttribute(0x80, EncodeRuns({{200, 16}}), 0, 15, 16 * 4096, 16 * 4096)}});
    builder.SetRecord(12, RecordLayout{true, {realData}});
    builder.SetRecord(kBase, RecordLayout{true, {StdInfo(), FileName("found")}});
    auto opened = OpenImage(builder.Build());
    ASSERT_TRUE(opened.volume->IsReady());
    ASSERT_NE(opened.volume->MftData(), nullptr);
    EXPECT_EQ(opened.volume->MftData()->FileRecord()->RecordNumber(), 12u);
    CFileRecord record(opened.volume.get());
    ASSERT_TRUE(record.LoadRecord(kBase));
    ASSERT_TRUE(record.ParseAttributes());
    std::array<char, CFileRecord::kAnsiNameCapacity> buffer{};
    ASSERT_GT(record.GetAnsiName(buffer), 0);
    EXPECT_STREQ(buffer.data(), "found");
}

} // namespace

namespace {

TEST(AttributeList, NamesFromAnExtensionRecordComeFirst) {
    // The long name lives in an extension record; the base keeps only its DOS name and a
    // POSIX name that follows the list. The extension's name is gathered first.
    ImageBuilder builder;
    builder.SetRecord(
        27, RecordLayout{true, {FileName("long document name.docx", CFileName::kWin32Namespace)}});
    auto opened = OpenRecord(builder, kBase,
                             {StdInfo(), ResidentAttribute(0x20, AttrListValue({{0x30, 27}})),
                              FileName("LONGDO~1.DOC", CFileName::kDosNamespace),
                              FileName("later", CFileName::kPosixNamespace)},
                             kRestoreMask);
    ASSERT_TRUE(opened.parsed);
    EXPECT_EQ(opened.record->AttrList(ListOf(0x30)).Count(), 3);
    std::array<char, CFileRecord::kAnsiNameCapacity> buffer{};
    ASSERT_GT(opened.record->GetAnsiName(buffer), 0);
    EXPECT_STREQ(buffer.data(), "long document name.docx");
}

} // namespace
