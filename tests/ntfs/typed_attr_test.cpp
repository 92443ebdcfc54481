// Typed attributes: file names, volume version and label, index root entries, index
// allocation blocks and bitmaps.
#include "ntfs/attr_bitmap.h"
#include "ntfs/attr_file_name.h"
#include "ntfs/attr_index_alloc.h"
#include "ntfs/attr_index_root.h"
#include "ntfs/attr_vol_info.h"
#include "ntfs/attr_vol_name.h"
#include "tests/ntfs/test_volume.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace ntfs_test;

constexpr std::uint64_t kRecord = 20;

template <class T> T* FirstOf(CFileRecord& record, std::uint32_t type) {
    return dynamic_cast<T*>(record.AttrList(ListOf(type)).First());
}

TEST(FileNameAttr, CopiesAndCapacities) {
    const std::string longName(255, 'n');
    struct Case {
        const char* name;
        std::string fileName;
        std::int32_t wideCapacity;
        std::int32_t wantWide;
        std::int32_t ansiCapacity;
        std::int32_t wantAnsi;
    };
    const Case cases[] = {
        {"empty name", "", 260, 0, 260, 0},
        {"255 units fit 260", longName, 260, 255, 260, 255},
        {"255 units do not fit 100", longName, 100, -255, 100, -255},
        {"ANSI form as long as the capacity does not fit", "abcdef", 7, 6, 6, 0},
        {"ANSI form one shorter than the capacity fits", "abcdef", 6, -6, 7, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder;
        auto opened = OpenRecord(builder, kRecord, {StdInfo(), FileName(c.fileName)});
        ASSERT_TRUE(opened.parsed);
        auto* name = FirstOf<CAttr_FileName>(*opened.record, 0x30);
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->FileNameLength(), static_cast<std::int32_t>(c.fileName.size()));
        std::u16string wide(300, u'#');
        EXPECT_EQ(name->CopyNameWide(wide.data(), c.wideCapacity), c.wantWide);
        if (c.wantWide > 0) {
            EXPECT_EQ(wide[c.wantWide], u'\0');
            EXPECT_EQ(wide[0], static_cast<char16_t>(c.fileName[0]));
        } else {
            EXPECT_EQ(wide[0], u'#') << "nothing may be copied";
        }
        std::string ansi(300, '#');
        EXPECT_EQ(name->CopyNameAnsi(ansi.data(), c.ansiCapacity), c.wantAnsi);
        if (c.wantAnsi > 0) {
            EXPECT_EQ(ansi.substr(0, c.wantAnsi), c.fileName);
            EXPECT_EQ(ansi[c.wantAnsi], '\0');
        }
        EXPECT_EQ(name->UpperName() == nullptr, c.fileName.empty());
    }
}

TEST(FileNameAttr, UpperCaseKeyAndNamespace) {
    ImageBuilder builder;
    auto opened =
        OpenRecord(builder, kRecord, {StdInfo(), FileName("readme.txt", CFileName::kDosNamespace)});
    ASSERT_TRUE(opened.parsed);
    auto* name = FirstOf<CAttr_FileName>(*opened.record, 0x30);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(std::u16string(name->UpperName()), u"README.TXT");
    char16_t wide[32];
    ASSERT_EQ(name->CopyNameWide(wide, 32), 10);
    EXPECT_EQ(std::u16string(wide), u"readme.txt") << "the stored name is unchanged";
    EXPECT_EQ(name->GetNamespace(), CFileName::kDosNamespace);
}

TEST(FileNameAttr, NameLongerThanItsValueHasNoName) {
    ImageBuilder builder;
    Attribute a = FileName("abc");
    a.bytes[0x18 + 0x40] = 200; // claims 200 units in a value that holds 3
    auto opened = OpenRecord(builder, kRecord, {StdInfo(), a});
    ASSERT_TRUE(opened.parsed);
    auto* name = FirstOf<CAttr_FileName>(*opened.record, 0x30);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->FileNameLength(), 0);
    char16_t wide[260];
    EXPECT_EQ(name->CopyNameWide(wide, 260), 0);
}

TEST(VolumeAttrs, VersionAndLabel) {
    struct Case {
        std::uint8_t major, minor;
        std::uint16_t want;
    };
    for (const Case c : {Case{3, 1, 0x0301}, Case{1, 2, 0x0102}}) {
        ImageBuilder builder;
        auto opened = OpenRecord(builder, kRecord, {VolumeInformation(c.major, c.minor)});
        auto* info = FirstOf<CAttr_VolInfo>(*opened.record, 0x70);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->VolumeVersion(), c.want);
    }
    struct LabelCase {
        Bytes value;
        std::u16string wide;
        std::string ansi;
    };
    const LabelCase labels[] = {
        {{}, u"", ""},
        {Utf16("Data"), u"Data", "Data"},
        {{'A', 0, 'B', 0, 'C'}, u"AB", "AB"},
    };
    for (const LabelCase& l : labels) {
        ImageBuilder builder;
        auto opened = OpenRecord(builder, kRecord, {ResidentAttribute(0x60, l.value)});
        auto* label = FirstOf<CAttr_VolName>(*opened.record, 0x60);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(std::u16string(label->LabelWide()), l.wide);
        EXPECT_EQ(std::string(label->LabelAnsi()), l.ansi);
        EXPECT_EQ(label->LabelLength(), l.wide.size());
    }
}

// An index root value: header, node header, then the given entries.
Bytes IndexRoot(std::uint32_t indexedType, const std::vector<Bytes>& entries,
                std::optional<std::uint32_t> totalOverride = std::nullopt) {
    Bytes v(0x20, 0);
    v[0] = static_cast<std::uint8_t>(indexedType);
    v[1] = static_cast<std::uint8_t>(indexedType >> 8);
    v[0x10] = 0x10; // first entry right after the node header
    std::uint32_t total = 0;
    for (const Bytes& e : entries) {
        v.insert(v.end(), e.begin(), e.end());
        total += static_cast<std::uint32_t>(e.size());
    }
    total = totalOverride.value_or(total);
    for (int i = 0; i < 4; ++i) {
        v[0x14 + i] = static_cast<std::uint8_t>(total >> (8 * i));
    }
    return v;
}

Bytes Entry(const std::string& name, std::uint8_t flags = 0,
            std::optional<std::uint16_t> length = {}) {
    Bytes key;
    if (!name.empty()) {
        const Attribute fn = FileName(name);
        key.assign(fn.bytes.begin() + 0x18, fn.bytes.begin() + 0x18 + 0x42 + 2 * name.size());
    }
    Bytes e(0x10 + ((key.size() + 7) & ~std::size_t{7}), 0);
    const auto len = length.value_or(static_cast<std::uint16_t>(e.size()));
    e[8] = static_cast<std::uint8_t>(len);
    e[9] = static_cast<std::uint8_t>(len >> 8);
    e[10] = static_cast<std::uint8_t>(key.size());
    e[12] = flags;
    std::copy(key.begin(), key.end(), e.begin() + 0x10);
    return e;
}

std::vector<std::u16string> EntryNames(CAttr_IndexRoot& root) {
    std::vector<std::u16string> names;
    for (CIndexEntry* e = root.First(); e != nullptr; e = root.Next()) {
        names.push_back(e->UpperName() ? std::u16string(e->UpperName()) : u"-");
    }
    return names;
}

TEST(IndexRootAttr, EntryWalkTable) {
    struct Case {
        const char* name;
        Bytes value;
        std::vector<std::u16string> want;
    };
    const Case cases[] = {
        {"file name index",
         IndexRoot(0x30, {Entry("a"), Entry("bb"), Entry("", 0x02)}),
         {u"A", u"BB", u"-"}},
        {"only the last-entry marker", IndexRoot(0x30, {Entry("", 0x02)}), {u"-"}},
        {"other indexed type", IndexRoot(0x10, {Entry("a"), Entry("", 0x02)}), {}},
        {"first entry longer than the total", IndexRoot(0x30, {Entry("a")}, 8), {}},
        {"total cuts the walk",
         IndexRoot(0x30, {Entry("a"), Entry("b"), Entry("", 0x02)}, 0x70),
         {u"A"}},
        {"entry of length 0 ends the walk",
         IndexRoot(0x30, {Entry("a"), Entry("b", 0, 0)}, 0x200),
         {u"A"}},
        {"entry reaching past the value ends the walk",
         IndexRoot(0x30, {Entry("a"), Entry("b", 0, 0x400)}, 0x1000),
         {u"A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageBuilder builder;
        auto opened = OpenRecord(builder, kRecord, {ResidentAttribute(0x90, c.value, "$I30")});
        ASSERT_TRUE(opened.parsed);
        auto* root = FirstOf<CAttr_IndexRoot>(*opened.record, 0x90);
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(EntryNames(*root), c.want);
    }
}

TEST(IndexAllocAndBitmap, SizesAndBuffers) {
    struct Case {
        std::uint64_t dataSize;
        std::uint64_t wantBlocks;
    };
    for (const Case c : {Case{8192, 2}, Case{6000, 0}, Case{0, 0}}) {
        ImageBuilder builder;
        auto opened =
            OpenRecord(builder, kRecord,
                       {NonResidentAttribute(0xA0, EncodeRuns({{60, 2}}), 0, 1, 8192, c.dataSize)});
        auto* alloc = FirstOf<CAttr_IndexAlloc>(*opened.record, 0xA0);
        ASSERT_NE(alloc, nullptr);
        EXPECT_EQ(alloc->BlockCount(), c.wantBlocks) << c.dataSize;
    }
    ImageBuilder builder;
    const Bytes bits = {1, 2, 3, 4, 5, 6, 7, 8};
    auto opened = OpenRecord(builder, kRecord,
                             {ResidentAttribute(0xB0, bits),
                              NonResidentAttribute(0xB0, EncodeRuns({{60, 1}}), 0, 0, 4096, 100),
                              NonResidentAttribute(0xB0, EncodeRuns({{60, 9}}), 0, 0, 4096, 100)});
    CSList<CAttrBase>& list = opened.record->AttrList(ListOf(0xB0));
    auto* resident = dynamic_cast<CAttr_Bitmap<CAttrResident>*>(list.First());
    auto* valid = dynamic_cast<CAttr_Bitmap<CAttrNonResident>*>(list.Next());
    auto* invalid = dynamic_cast<CAttr_Bitmap<CAttrNonResident>*>(list.Next());
    ASSERT_NE(resident, nullptr);
    ASSERT_NE(valid, nullptr);
    ASSERT_NE(invalid, nullptr);
    EXPECT_EQ(resident->BitmapSize(), 8u);
    ASSERT_NE(resident->BitmapBuffer(), nullptr);
    EXPECT_TRUE(std::equal(bits.begin(), bits.end(), resident->BitmapBuffer()));
    EXPECT_EQ(valid->BitmapSize(), 100u);
    EXPECT_NE(valid->BitmapBuffer(), nullptr);
    EXPECT_EQ(invalid->BitmapSize(), 0u);
    EXPECT_EQ(invalid->BitmapBuffer(), nullptr);
}

} // namespace
