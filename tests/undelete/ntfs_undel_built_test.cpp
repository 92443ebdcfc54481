// The deleted-file engine on volumes written byte by byte: candidates that cannot be parsed
// or read must not stop the restore of the candidates after them.
#include <gtest/gtest.h>

#include "platform/message_box.h"
#include "tests/ntfs/image_builder.h"
#include "tests/support/temp_dir.h"
#include "undelete/ntfs_undel.h"

using namespace ntfs_test;

namespace {

constexpr std::uint32_t kData = 0x80;
constexpr std::uint32_t kFileAttributeCompressed = 0x800;
constexpr std::uint32_t kFileAttributeEncrypted = 0x4000;

class RecordedBoxes final : public platform::MessageBoxProvider {
public:
    int Show(const std::string& text, const std::string&, std::uint32_t) override {
        texts.push_back(text);
        return platform::IDOK;
    }
    std::vector<std::string> texts;
};

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

TEST(NtfsUndelBuilt, UnreadableCandidatesAreSkippedAndTheSearchGoesOn) {
    ImageBuilder builder;
    // Record 16: a deleted compressed file of the name, which the reader does not parse.
    builder.SetRecord(
        16, RecordLayout(false, {StdInfo(kFileAttributeCompressed), FileName("report.docx"),
                                 ResidentAttribute(kData, Text("compressed"))}));
    // Record 17: its data runs point far past the end of the volume.
    builder.SetRecord(
        17, RecordLayout(
                false, {StdInfo(), FileName("REPORT.DOCX"),
                        NonResidentAttribute(kData, EncodeRuns({{100000, 1}}), 0, 0, 4096, 100)}));
    // Record 18: a torn sector, so it is not even a candidate.
    RecordLayout torn(false,
                      {StdInfo(), FileName("report.docx"), ResidentAttribute(kData, Text("torn"))});
    torn.tornSector = 1;
    builder.SetRecord(18, torn);
    // Record 19: an encrypted one, then record 20: the one that restores.
    builder.SetRecord(
        19, RecordLayout(false, {StdInfo(kFileAttributeEncrypted), FileName("report.docx"),
                                 ResidentAttribute(kData, Text("encrypted"))}));
    builder.SetRecord(20, RecordLayout(false, {StdInfo(), FileName("Report.docx"),
                                               ResidentAttribute(kData, Text("the document"))}));
    // Record 21: in use, never a candidate.
    builder.SetRecord(21, RecordLayout(true, {StdInfo(), FileName("report.docx"),
                                              ResidentAttribute(kData, Text("in use"))}));
    MemoryImage image(builder.Build());

    auto boxes = std::make_shared<RecordedBoxes>();
    platform::SetMessageBoxProvider(boxes);
    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(image.Path()));
    EXPECT_EQ(
        std::vector<std::uint64_t>(engine.DeletedRecords().begin(), engine.DeletedRecords().end()),
        (std::vector<std::uint64_t>{16, 17, 19, 20}));

    testsupport::TempDir out;
    std::vector<std::string> restored;
    EXPECT_TRUE(engine.RestoreByName(out.Path(), "report.docx", restored));
    platform::SetMessageBoxProvider(nullptr);

    // Record 17's file was removed after its failed read; record 20's took the free name.
    EXPECT_EQ(boxes->texts, std::vector<std::string>{"Read data error"});
    ASSERT_EQ(restored, std::vector<std::string>{out / "report.docx"});
    EXPECT_EQ(testsupport::ReadFile(restored[0]), Text("the document"));
}

// A deleted file whose run list an attribute list split over two records: the piece in the
// extension record is gathered first, yet the restore must read the stream from VCN 0 through
// both pieces, not copy the later piece's empty view of it.
TEST(NtfsUndelBuilt, DataSplitOverRecordsIsRestoredWhole) {
    constexpr std::uint64_t kBase = 16;
    constexpr std::uint64_t kExtension = 17;
    constexpr std::uint64_t kDataSize = 10000;
    ImageBuilder builder;
    const std::uint32_t cluster = builder.ClusterSize();
    Bytes first(2 * cluster), second(cluster);
    for (std::size_t i = 0; i < first.size(); ++i) {
        first[i] = static_cast<std::uint8_t>(i * 7 + 1);
    }
    for (std::size_t i = 0; i < second.size(); ++i) {
        second[i] = static_cast<std::uint8_t>(i * 13 + 5);
    }
    builder.WriteClusters(100, first);
    builder.WriteClusters(200, second);
    builder.SetRecord(
        kExtension,
        RecordLayout(false, {NonResidentAttribute(kData, EncodeRuns({{200, 1}}), 2, 2, 0, 0)}));
    builder.SetRecord(
        kBase,
        RecordLayout(
            false,
            {StdInfo(),
             ResidentAttribute(
                 0x20, AttrListValue(
                           {{0x10, kBase}, {0x30, kBase}, {kData, kExtension}, {kData, kBase}})),
             FileName("split.bin"),
             NonResidentAttribute(kData, EncodeRuns({{100, 2}}), 0, 1, 3 * cluster, kDataSize)}));
    MemoryImage image(builder.Build());

    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(image.Path()));
    testsupport::TempDir out;
    std::vector<std::string> restored;
    ASSERT_TRUE(engine.RestoreByName(out.Path(), "split.bin", restored));
    ASSERT_EQ(restored.size(), 1u);
    Bytes want = first;
    want.insert(want.end(), second.begin(), second.begin() + (kDataSize - first.size()));
    EXPECT_EQ(testsupport::ReadFile(restored[0]), want);
}

} // namespace
