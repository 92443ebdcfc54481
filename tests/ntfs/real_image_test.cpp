// Real volumes: an mkntfs image filled through libntfs-3g, and the Windows-formatted fixtures,
// checked against The Sleuth Kit's view of the same bytes.
#include "ntfs/attr_non_resident.h"
#include "tests/ntfs/image_builder.h"
#include "tests/ntfs/test_volume.h"
#include "tests/ntfs/tsk_oracle.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using namespace ntfs_test;

constexpr std::uint32_t kRestoreMask = 0x87;
constexpr std::uint32_t kChunk = 64 * 1024;

// Made once per build tree; change the name's version when the fill tool's files change, so
// that an older cached image is not checked against new expectations.
std::optional<std::string> MkntfsImage() {
    return CachedFile("mkntfs-16m-v2.img",
                      "truncate -s 16M {} && mkntfs -F -Q -q -s 512 -c 4096 -L Docsalve {} && " +
                          ShellQuote(DOCSALVE_NTFS3G_FILL) + " {} 120");
}

// The whole unnamed $DATA of `record` read in 64 KB pieces, as the restore reads it.
std::optional<std::string> ReadAll(CAttrBase& data) {
    const std::uint64_t size = data.QueryDataLength(nullptr);
    std::string out;
    std::string chunk(kChunk, '\0');
    for (std::uint64_t offset = 0; offset < size; offset += kChunk) {
        std::uint32_t n = 0;
        const auto want =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kChunk, size - offset));
        if (!data.ReadValueAt(offset, chunk.data(), kChunk, &n) || n != want) {
            return std::nullopt;
        }
        out.append(chunk.data(), n);
    }
    return out;
}

int UnnamedDataCount(CFileRecord& record) {
    int count = 0;
    CSList<CAttrBase>& list = record.AttrList(ListOf(0x80));
    for (CAttrBase* a = list.First(); a != nullptr; a = list.Next()) {
        count += a->NameLength() == 0 ? 1 : 0;
    }
    return count;
}

// Every file fls lists reads back through the reader exactly as icat gives it, streams whose
// runs an attribute list split over several records included (`split` counts those).
void CheckEveryFile(const std::string& image, std::uint64_t sectorOffset, int& whole, int& split) {
    auto files = ListFiles(image, sectorOffset);
    ASSERT_TRUE(files.has_value());
    ASSERT_FALSE(files->empty());
    CNTFSVolume volume(image);
    ASSERT_TRUE(volume.IsReady());
    CFileRecord record(&volume);
    record.SetAttrMask(kRestoreMask);
    for (const TskFile& file : *files) {
        SCOPED_TRACE(file.path);
        // $Boot's one run starts at cluster 0, stored as an explicit zero offset, which the
        // reader takes for a sparse run (as it does for every zero offset). No other stream can
        // start at cluster 0, which always belongs to $Boot.
        constexpr std::uint64_t kBootRecord = 7;
        if (file.inode == kBootRecord) {
            continue;
        }
        const auto expected = Icat(image, sectorOffset, file.inode);
        ASSERT_TRUE(expected.has_value());
        ASSERT_TRUE(record.LoadRecord(file.inode));
        ASSERT_TRUE(record.ParseAttributes());
        const int pieces = UnnamedDataCount(record);
        CAttrBase* data = record.FindUnnamedData();
        ASSERT_NE(data, nullptr);
        const auto got = ReadAll(*data);
        ASSERT_TRUE(got.has_value());
        EXPECT_TRUE(*got == *expected) << "size " << got->size() << " vs " << expected->size();
        ++(pieces == 1 ? whole : split);
    }
}

void CheckGeometryAgainstFsstat(const std::string& image, std::uint64_t sectorOffset,
                                const CNTFSVolume& volume) {
    const auto fs = Fsstat(image, sectorOffset);
    ASSERT_TRUE(fs.has_value());
    EXPECT_EQ(std::to_string(volume.SectorSize()), fs->at("Sector Size"));
    EXPECT_EQ(std::to_string(volume.ClusterSize()), fs->at("Cluster Size"));
    EXPECT_EQ(std::to_string(volume.MftOffset() / volume.ClusterSize()),
              fs->at("First Cluster of MFT"));
    EXPECT_EQ(std::to_string(volume.RecordSize()) + " bytes", fs->at("Size of MFT Entries"));
    EXPECT_EQ(std::to_string(volume.IndexBlockSize()) + " bytes", fs->at("Size of Index Records"));
    // The Sleuth Kit names versions by the Windows release that introduced them.
    const std::map<std::string, std::uint16_t> versions = {{"Windows 2000", 0x0300},
                                                           {"Windows XP", 0x0301}};
    ASSERT_EQ(versions.count(fs->at("Version")), 1u);
    EXPECT_EQ(volume.Version(), versions.at(fs->at("Version")));
}

TEST(MkntfsImage, GeometryMatchesFsstat) {
    const auto image = MkntfsImage();
    if (!image) {
        GTEST_SKIP() << "mkntfs image could not be made (ntfs-3g missing?)";
    }
    CNTFSVolume volume(*image);
    ASSERT_TRUE(volume.IsReady());
    CheckGeometryAgainstFsstat(*image, 0, volume);
}

TEST(MkntfsImage, EveryFileMatchesIcat) {
    const auto image = MkntfsImage();
    if (!image) {
        GTEST_SKIP() << "mkntfs image could not be made (ntfs-3g missing?)";
    }
    int whole = 0;
    int split = 0;
    CheckEveryFile(*image, 0, whole, split);
    // The system files, the root's files and 120 in docs/; the two files grown in turn
    // outgrow one record.
    EXPECT_GT(whole, 120);
    EXPECT_EQ(split, 2);
}

TEST(MkntfsImage, DeletedFileStillReadsItsData) {
    const auto image = MkntfsImage();
    if (!image) {
        GTEST_SKIP() << "mkntfs image could not be made (ntfs-3g missing?)";
    }
    const auto deleted = RunCommand("fls -r -p -d " + ShellQuote(*image) + " | grep deleted.docx");
    ASSERT_TRUE(deleted.has_value());
    const std::uint64_t inode = std::stoull(deleted->substr(deleted->find('*') + 2));
    CNTFSVolume volume(*image);
    ASSERT_TRUE(volume.IsReady());
    CFileRecord record(&volume);
    record.SetAttrMask(kRestoreMask);
    record.SetDeletedOnly(true);
    ASSERT_TRUE(record.LoadRecord(inode));
    ASSERT_TRUE(record.ParseAttributes());
    std::array<char, CFileRecord::kAnsiNameCapacity> name{};
    ASSERT_GT(record.GetAnsiName(name), 0);
    EXPECT_STREQ(name.data(), "deleted.docx");
    CAttrBase* data = record.FindUnnamedData();
    ASSERT_NE(data, nullptr);
    const auto got = ReadAll(*data);
    const auto expected = Icat(*image, 0, inode);
    ASSERT_TRUE(got && expected);
    EXPECT_TRUE(*got == *expected);
    EXPECT_EQ(got->size(), 20000u);
    // The same record in normal mode loads too; a record in use is refused in deleted-only mode.
    record.SetDeletedOnly(true);
    EXPECT_FALSE(record.LoadRecord(5));
}

TEST(MkntfsImage, OpensInsideMbrAndGptDisks) {
    const auto image = MkntfsImage();
    if (!image) {
        GTEST_SKIP() << "mkntfs image could not be made (ntfs-3g missing?)";
    }
    std::ifstream in(*image, std::ios::binary);
    const Bytes volumeBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CNTFSVolume bare(*image);
    ASSERT_TRUE(bare.IsReady());
    for (const auto& [name, disk] :
         {std::pair<const char*, Bytes>{"MBR", WrapInMbr(volumeBytes, 2048)},
          std::pair<const char*, Bytes>{"GPT", WrapInGpt(volumeBytes, 2048)}}) {
        SCOPED_TRACE(name);
        MemoryImage memory(disk);
        CNTFSVolume volume(memory.Path());
        ASSERT_TRUE(volume.IsReady());
        EXPECT_EQ(volume.VolumeStart(), 2048u * 512);
        EXPECT_EQ(volume.MftOffset(), bare.MftOffset());
        ASSERT_NE(volume.MftData(), nullptr);
        EXPECT_EQ(volume.MftData()->QueryDataLength(nullptr),
                  bare.MftData()->QueryDataLength(nullptr));
        CFileRecord a(&volume);
        CFileRecord b(&bare);
        for (std::uint64_t n : {0ull, 5ull, 40ull, 100ull}) {
            ASSERT_EQ(a.LoadRecord(n), b.LoadRecord(n));
            EXPECT_TRUE(std::equal(a.Buffer().begin(), a.Buffer().end(), b.Buffer().begin(),
                                   b.Buffer().end()));
        }
    }
}

TEST(WindowsFixture, LastAccessVolumeMatchesTheSleuthKit) {
    const auto image = DecompressedFixture("ntfs-lastaccess.raw.gz");
    if (!image) {
        GTEST_SKIP() << "fixture ntfs-lastaccess.raw.gz not found";
    }
    CNTFSVolume volume(*image);
    ASSERT_TRUE(volume.IsReady());
    EXPECT_EQ(volume.VolumeStart(), 128u * 512) << "the MBR's one partition";
    CheckGeometryAgainstFsstat(*image, 128, volume);
    int whole = 0;
    int split = 0;
    CheckEveryFile(*image, 128, whole, split);
    EXPECT_GT(whole, 10);
    // The one user file: test/1.txt.
    CFileRecord record(&volume);
    record.SetAttrMask(kRestoreMask);
    ASSERT_TRUE(record.LoadRecord(43));
    ASSERT_TRUE(record.ParseAttributes());
    std::array<char, CFileRecord::kAnsiNameCapacity> name{};
    ASSERT_GT(record.GetAnsiName(name), 0);
    EXPECT_STREQ(name.data(), "1.txt");
}

TEST(WindowsFixture, TwoMegabyteClusterVolume) {
    const auto image = DecompressedFixture("ntfs-2m.raw.gz");
    if (!image) {
        GTEST_SKIP() << "fixture ntfs-2m.raw.gz not found";
    }
    CNTFSVolume volume(*image);
    ASSERT_TRUE(volume.IsReady());
    // fsstat cannot decode this cluster size; the boot sector's byte 0xF4 means 2^12 sectors.
    EXPECT_EQ(volume.VolumeStart(), 65536u);
    EXPECT_EQ(volume.SectorSize(), 512);
    EXPECT_EQ(volume.ClusterSize(), 2u * 1024 * 1024);
    EXPECT_EQ(volume.RecordSize(), 1024u);
    EXPECT_EQ(volume.IndexBlockSize(), 4096u);
    EXPECT_EQ(volume.MftOffset(), 170ull * 2 * 1024 * 1024);
    EXPECT_GE(volume.Version(), 0x0301);
    ASSERT_NE(volume.MftData(), nullptr);
    // Every record of the table loads or is refused quietly; the system files are all there
    // with the names Windows gave them.
    const std::uint64_t records = volume.MftData()->QueryDataLength(nullptr) / volume.RecordSize();
    ASSERT_GT(records, 16u);
    const char* systemNames[] = {"$MFT",     "$MFTMirr", "$LogFile", "$Volume",
                                 "$AttrDef", ".",        "$Bitmap",  "$Boot",
                                 "$BadClus", "$Secure",  "$UpCase",  "$Extend"};
    CFileRecord record(&volume);
    record.SetAttrMask(kRestoreMask);
    for (std::uint64_t n = 0; n < 12; ++n) {
        SCOPED_TRACE(n);
        ASSERT_TRUE(record.LoadRecord(n));
        ASSERT_TRUE(record.ParseAttributes());
        std::array<char, CFileRecord::kAnsiNameCapacity> name{};
        ASSERT_GT(record.GetAnsiName(name), 0);
        EXPECT_STREQ(name.data(), systemNames[n]);
    }
    // The table's first record, read through its own 2 MB-cluster data runs, is the record
    // at the boot sector's MFT offset.
    ASSERT_TRUE(record.LoadRecord(0));
    std::uint8_t fromData[1024];
    std::uint8_t fromDevice[1024];
    std::uint32_t n = 0;
    ASSERT_TRUE(volume.MftData()->ReadValueAt(0, fromData, 1024, &n));
    ASSERT_TRUE(volume.ReadVolumeBytes(volume.MftOffset(), fromDevice, 1024));
    EXPECT_TRUE(std::equal(fromData, fromData + 1024, fromDevice));
    ASSERT_TRUE(volume.MftData()->ReadValueAt(5 * 1024 + 1000, fromData, 48, &n));
    ASSERT_TRUE(volume.ReadVolumeBytes(volume.MftOffset() + 5 * 1024 + 1000, fromDevice, 48));
    EXPECT_TRUE(std::equal(fromData, fromData + 48, fromDevice));
    int loaded = 0;
    for (std::uint64_t r = 16; r < records; ++r) {
        loaded += record.LoadRecord(r) && record.ParseAttributes() ? 1 : 0;
    }
    EXPECT_GT(loaded, 0);
}

} // namespace
