// Container decryption end to end: containers made by make-container, decrypted into a folder.
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

#include "decrypt/ransom_decryptor.h"
#include "tests/support/containers.h"
#include "tests/support/temp_dir.h"

using namespace testsupport;

namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One decryptor for the whole suite: importing the key checks it, which takes a while.
RansomDecryptor& Decryptor() {
    static RansomDecryptor decryptor;
    return decryptor;
}

struct BodyCase {
    const char* label;
    std::size_t documentSize;
    int keyBytes;
    long long originalSize; // -1: the document's size
    int fillerBytes;
};

const BodyCase kBodyCases[] = {
    {"three chunks, one CBC chain", 3'000'000, 16, -1, 0},
    {"empty document", 0, 16, -1, 0},
    {"padding of the last block is cut", 1000, 16, -1, 0},
    {"whole blocks, no filler", 4096, 16, -1, 0},
    {"AES-192", 100'000, 24, -1, 0},
    {"AES-256 over 2 MB", 2 * 1024 * 1024 + 7, 32, -1, 0},
    {"filler blocks after the body are cut", 5000, 32, -1, 64},
    {"recorded size shorter than the body", 5000, 16, 1234, 0},
    {"recorded size beyond the body is zero-extended", 100, 16, 300, 0},
};

TEST(RansomDecryptor, DecryptsBodiesToTheirRecordedSize) {
    unsigned seed = 1;
    for (const auto& c : kBodyCases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        std::filesystem::create_directory(dir / "in");
        std::filesystem::create_directory(dir / "out");
        const auto document = RandomBytes(c.documentSize, seed++);
        WriteFile(dir / "in/report.docx", document);
        ASSERT_TRUE(MakeContainer(DemoPublicKey(), dir / "in/report.docx",
                                  dir / "in/report.docx.WNCRY",
                                  {c.keyBytes, c.originalSize, c.fillerBytes}));

        const std::string written =
            Decryptor().DecryptContainer(dir / "in/report.docx.WNCRY", dir / "out");
        ASSERT_EQ(written, dir / "out/report.docx");
        auto want = document;
        if (c.originalSize >= 0) {
            want.resize(static_cast<std::size_t>(c.originalSize), 0);
        }
        EXPECT_EQ(ReadFile(written), want);
    }
}

// Rewrites bytes of a finished container.
void Patch(const std::string& path, std::size_t offset, const std::vector<std::uint8_t>& bytes) {
    auto content = ReadFile(path);
    std::copy(bytes.begin(), bytes.end(), content.begin() + static_cast<long>(offset));
    WriteFile(path, content);
}

void Truncate(const std::string& path, std::size_t size) {
    std::filesystem::resize_file(path, size);
}

struct RefusalCase {
    const char* label;
    const char* containerName;
    bool foreignKey;
    std::function<void(const std::string&)> damage;
};

TEST(RansomDecryptor, RefusesWithoutWritingAnything) {
    const RefusalCase cases[] = {
        {"wrong magic", "report.docx.WNCRY", false,
         [](const std::string& p) {
             Patch(p, 0, {'W', 'A', 'N', 'A', 'C', 'R', 'Y', '?'});
         }},
        {"key length 255", "report.docx.WNCRY", false,
         [](const std::string& p) {
             Patch(p, 8, {0xFF, 0x00, 0x00, 0x00});
         }},
        {"key wrapped for another key pair", "report.docx.WNCRY", true, nullptr},
        {"wrapped key damaged", "report.docx.WNCRY", false,
         [](const std::string& p) { Patch(p, 12 + 100, {0x5A}); }},
        {"header cut short", "report.docx.WNCRY", false,
         [](const std::string& p) { Truncate(p, 200); }},
        {"empty file", "report.docx.WNCRY", false, [](const std::string& p) { Truncate(p, 0); }},
        {"extension in small letters", "report.docx.wncry", false, nullptr},
        {"no name before the extension", ".WNCRY", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        std::filesystem::create_directory(dir / "out");
        WriteFile(dir / "report.docx", RandomBytes(777, 3));
        const std::string container = dir / c.containerName;
        ASSERT_TRUE(MakeContainer(c.foreignKey ? ForeignPublicKey() : DemoPublicKey(),
                                  dir / "report.docx", container));
        if (c.damage) {
            c.damage(container);
        }
        EXPECT_EQ(Decryptor().DecryptContainer(container, dir / "out"), "");
        EXPECT_TRUE(FolderEntries(dir / "out").empty());
    }
}

TEST(RansomDecryptor, MissingContainerOrOutputFolderYieldsNothing) {
    TempDir dir;
    WriteFile(dir / "report.docx", RandomBytes(64, 4));
    ASSERT_TRUE(MakeContainer(DemoPublicKey(), dir / "report.docx", dir / "report.docx.WNCRY"));
    EXPECT_EQ(Decryptor().DecryptContainer(dir / "absent.docx.WNCRY", dir.Path()), "");
    EXPECT_EQ(Decryptor().DecryptContainer(dir / "report.docx.WNCRY", dir / "no/such/folder"), "");
}

TEST(RansomDecryptor, NamesTheDocumentWithoutOverwriting) {
    TempDir dir;
    std::filesystem::create_directories(dir / "WNCRY");
    std::filesystem::create_directories(dir / "out");
    const auto document = RandomBytes(3000, 5);
    WriteFile(dir / "WNCRY/report.docx", document);
    ASSERT_TRUE(
        MakeContainer(DemoPublicKey(), dir / "WNCRY/report.docx", dir / "WNCRY/report.docx.WNCRY"));
    WriteFile(dir / "out/report.docx", "already here");

    // A folder named WNCRY does not confuse the naming; the taken name gets a number; a folder
    // given with its trailing separator gets no second one.
    const std::string first =
        Decryptor().DecryptContainer(dir / "WNCRY/report.docx.WNCRY", dir / "out/");
    EXPECT_EQ(first, dir / "out/report(1).docx");
    EXPECT_EQ(ReadFile(first), document);
    EXPECT_EQ(
        ReadFile(dir / "out/report.docx"),
        std::vector<std::uint8_t>({'a', 'l', 'r', 'e', 'a', 'd', 'y', ' ', 'h', 'e', 'r', 'e'}));
    EXPECT_EQ(Decryptor().DecryptContainer(dir / "WNCRY/report.docx.WNCRY", dir / "out"),
              dir / "out/report(2).docx");
}

TEST(RansomDecryptor, BodyCutMidBlockKeepsWholeBlocks) {
    TempDir dir;
    std::filesystem::create_directory(dir / "out");
    const auto document = RandomBytes(4096, 6);
    WriteFile(dir / "doc.bin", document);
    ASSERT_TRUE(MakeContainer(DemoPublicKey(), dir / "doc.bin", dir / "doc.bin.WNCRY"));
    Truncate(dir / "doc.bin.WNCRY", 280 + 4096 - 5);

    const std::string written = Decryptor().DecryptContainer(dir / "doc.bin.WNCRY", dir / "out");
    ASSERT_EQ(written, dir / "out/doc.bin");
    const auto got = ReadFile(written);
    ASSERT_EQ(got.size(), document.size());
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4080, document.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + 4080, got.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(RansomDecryptor, ExtraKeyIsTriedAfterTheBuiltInOne) {
    TempDir dir;
    std::filesystem::create_directory(dir / "out");
    const auto document = RandomBytes(1500, 7);
    WriteFile(dir / "a.txt", document);
    ASSERT_TRUE(MakeContainer(ForeignPublicKey(), dir / "a.txt", dir / "a.txt.WNCRY"));

    RansomDecryptor decryptor;
    EXPECT_EQ(decryptor.DecryptContainer(dir / "a.txt.WNCRY", dir / "out"), "");
    const auto blob = ReadFile(ForeignPrivateKeyBlob());
    ASSERT_TRUE(decryptor.AddKey(blob));
    const std::string written = decryptor.DecryptContainer(dir / "a.txt.WNCRY", dir / "out");
    ASSERT_EQ(written, dir / "out/a.txt");
    EXPECT_EQ(ReadFile(written), document);
}

struct NameCase {
    const char* path;
    const char* want;
};

TEST(DocumentNameFromContainerPath, TakesTheNameBeforeTheLastMarker) {
    const NameCase cases[] = {
        {"/docs/report.docx.WNCRY", "report.docx"},
        {"/WNCRY/report.docx.WNCRY", "report.docx"},
        {"/docs/report.docx.wncry", ""},
        {"report.docx.WNCRY", ""}, // no separator before the name
        {"WNCRY", ""},             // the marker at the first character
        {"/a/b.WNCRY.txt", "b"},   // the marker need not end the path
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(DocumentNameFromContainerPath(c.path), c.want);
    }
}

} // namespace
