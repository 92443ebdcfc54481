// docsalve-cli as a user runs it: a tree of containers in, recovered files, JSON and exit
// status out.
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/support/containers.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"

using namespace testsupport;

namespace {

// Report logs of the runs go to a folder of the suite's own, never to the user's.
class CliEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::setenv("XDG_STATE_HOME", m_state.Path().c_str(), 1);
        // Run through sudo, the program would write for the invoking user instead.
        ::unsetenv("SUDO_UID");
        ::unsetenv("PKEXEC_UID");
    }
    TempDir m_state;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new CliEnvironment);

int RunCli(const std::vector<std::string>& args, const std::string& stdoutPath = {}) {
    return RunProgram(DOCSALVE_CLI_PATH, args, stdoutPath);
}

nlohmann::json ReadJson(const std::string& path) {
    const auto bytes = ReadFile(path);
    return nlohmann::json::parse(bytes.begin(), bytes.end());
}

std::string Text(const std::string& path) {
    const auto bytes = ReadFile(path);
    return {bytes.begin(), bytes.end()};
}

// A tree with containers for the demo key (two of them in a folder with a name clash in the
// output), one for the foreign key and an ordinary file.
struct CliTree {
    CliTree() {
        for (const char* folder : {"tree/docs", "tree/more", "out"}) {
            std::filesystem::create_directories(dir / folder);
        }
        Add("tree/docs/report.docx", DemoPublicKey(), 16, 7000);
        Add("tree/more/report.docx", DemoPublicKey(), 32, 3'000'000);
        Add("tree/docs/ledger.csv", ForeignPublicKey(), 16, 500);
        WriteFile(dir / "tree/docs/plain.txt", "left alone");
        WriteFile(dir / "out/report.docx", "was here first");
    }
    void Add(const std::string& rel, const std::string& key, int keyBytes, std::size_t size) {
        std::string text;
        for (std::size_t i = 0; text.size() < size; ++i) {
            text += rel + " line " + std::to_string(i) + "\n";
        }
        text.resize(size);
        originals[rel] = text;
        WriteFile(dir / rel, text);
        ASSERT_TRUE(MakeContainer(key, dir / rel, dir / (rel + ".WNCRY"), {keyBytes, -1, 0}));
        std::filesystem::remove(dir / rel);
    }
    TempDir dir;
    std::map<std::string, std::string> originals;
};

TEST(DocsalveCli, RecoversWhatItsKeysOpenAndReportsTheRest) {
    CliTree tree;
    const std::string json = tree.dir / "results.json";
    // No volume to search: the foreign container cannot come back without its key.
    EXPECT_EQ(RunCli({"--device", tree.dir / "no-such-device", "--json", json, tree.dir / "tree",
                      tree.dir / "out"},
                     tree.dir / "stdout.txt"),
              1);

    const auto results = ReadJson(json);
    ASSERT_EQ(results.size(), 3u);
    std::map<std::string, std::string> statusByContainer;
    for (const auto& r : results) {
        statusByContainer[r["container"]] = r["status"];
        if (r["status"] == "decrypted") {
            const std::string output = r["output"];
            const std::string container = r["container"];
            const std::string rel = container.substr(tree.dir.Path().size() + 1,
                                                     container.size() - tree.dir.Path().size() - 7);
            EXPECT_EQ(Text(output), tree.originals[rel]) << output;
        } else {
            EXPECT_TRUE(r["output"].is_null());
        }
    }
    EXPECT_EQ(statusByContainer[tree.dir / "tree/docs/report.docx.WNCRY"], "decrypted");
    EXPECT_EQ(statusByContainer[tree.dir / "tree/more/report.docx.WNCRY"], "decrypted");
    EXPECT_EQ(statusByContainer[tree.dir / "tree/docs/ledger.csv.WNCRY"], "not_recovered");

    // Nothing in the output folder was overwritten: both documents got numbered names.
    EXPECT_EQ(Text(tree.dir / "out/report.docx"), "was here first");
    EXPECT_TRUE(std::filesystem::exists(tree.dir / "out/report(1).docx"));
    EXPECT_TRUE(std::filesystem::exists(tree.dir / "out/report(2).docx"));
    EXPECT_FALSE(std::filesystem::exists(tree.dir / "out/plain.txt"));

    const std::string printed = Text(tree.dir / "stdout.txt");
    EXPECT_NE(printed.find("NOT RECOVERED"), std::string::npos);
    EXPECT_NE(printed.find("Containers: 3;"), std::string::npos) << printed;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST(DocsalveCli, ReportLogListsEveryResultOfTheRun) {
    CliTree tree;
    const std::string json = tree.dir / "results.json";
    RunCli({"--device", tree.dir / "none", "--json", json, tree.dir / "tree", tree.dir / "out"},
           tree.dir / "stdout.txt");
    const std::string printed = Text(tree.dir / "stdout.txt");
    const std::string marker = "Report log: ";
    const std::size_t at = printed.find(marker);
    ASSERT_NE(at, std::string::npos) << printed;
    const std::string logPath =
        printed.substr(at + marker.size(), printed.find('\n', at) - at - marker.size());

    // Every line carries the time prefix; the entries follow the results one for one.
    std::vector<std::string> want;
    for (const auto& r : ReadJson(json)) {
        want.push_back("被感染文件 " + r["container"].get<std::string>());
        if (r["status"] == "decrypted") {
            want.push_back("文件恢复到 " + r["output"].get<std::string>());
            want.push_back("解密恢复成功！");
        } else {
            want.push_back("恢复失败！");
        }
    }
    const auto lines = Lines(Text(logPath));
    ASSERT_EQ(lines.size(), want.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_GE(lines[i].size(), 26u);
        EXPECT_EQ(lines[i][0], '[');
        EXPECT_EQ(lines[i].substr(11, 2), "][");
        EXPECT_EQ(lines[i][25], ']');
        EXPECT_EQ(lines[i].substr(26), want[i]);
    }
}

// `volume` as the one partition (type 0x07, from sector 2048) of an MBR disk image.
void WriteMbrDisk(const std::string& volume, const std::string& disk) {
    constexpr std::uint32_t kStartSector = 2048;
    auto bytes = ReadFile(volume);
    std::vector<std::uint8_t> image(kStartSector * 512, 0);
    const auto sectors = static_cast<std::uint32_t>(bytes.size() / 512);
    auto put32 = [&image](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            image[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    };
    image[446 + 4] = 0x07;
    put32(446 + 8, kStartSector);
    put32(446 + 12, sectors);
    image[510] = 0x55;
    image[511] = 0xAA;
    image.insert(image.end(), bytes.begin(), bytes.end());
    WriteFile(disk, image);
}

TEST(DocsalveCli, RestoresFromTheVolumeWhatNoKeyOpens) {
    if (!std::filesystem::exists("/usr/sbin/mkntfs")) {
        GTEST_SKIP() << "mkntfs is not installed";
    }
    struct Case {
        const char* label;
        bool onDisk; // the volume inside an MBR disk image rather than bare
        std::vector<std::string> partition;
        const char* want;
    };
    const Case cases[] = {
        {"bare volume image", false, {}, "restored"},
        {"disk image: first NTFS partition", true, {}, "restored"},
        {"disk image: partition 1 by number", true, {"--partition", "1"}, "restored"},
        {"disk image: no partition 2", true, {"--partition", "2"}, "not_recovered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CliTree tree;
        const std::string image = tree.dir / "volume.img";
        WriteFile(image, std::string());
        std::filesystem::resize_file(image, 16u << 20);
        ASSERT_EQ(RunProgram("/usr/sbin/mkntfs", {"-F", "-Q", "-q", image}, tree.dir / "mkntfs.log",
                             true),
                  0);
        WriteFile(tree.dir / "ledger.csv", tree.originals["tree/docs/ledger.csv"]);
        ASSERT_EQ(
            RunProgram(NTFS_EDIT_PATH,
                       {image, "put", tree.dir / "ledger.csv", "/ledger.csv", "rm", "/ledger.csv"},
                       tree.dir / "edit.log", true),
            0);
        std::string device = image;
        if (c.onDisk) {
            device = tree.dir / "disk.img";
            WriteMbrDisk(image, device);
        }

        const std::string json = tree.dir / "results.json";
        std::vector<std::string> args = {"--device", device};
        args.insert(args.end(), c.partition.begin(), c.partition.end());
        args.insert(args.end(), {"--json", json, tree.dir / "tree", tree.dir / "out"});
        EXPECT_EQ(RunCli(args), std::string(c.want) == "restored" ? 0 : 1);
        std::map<std::string, std::string> statusByContainer;
        for (const auto& r : ReadJson(json)) {
            statusByContainer[r["container"]] = r["status"];
        }
        EXPECT_EQ(statusByContainer[tree.dir / "tree/docs/ledger.csv.WNCRY"], c.want);
        if (std::string(c.want) == "restored") {
            EXPECT_EQ(Text(tree.dir / "out/ledger.csv"), tree.originals["tree/docs/ledger.csv"]);
        }
    }
}

TEST(DocsalveCli, ExtraKeyRecoversEverythingAndExitsZero) {
    CliTree tree;
    const std::string json = tree.dir / "results.json";
    EXPECT_EQ(RunCli({"--key", ForeignPrivateKeyBlob(), "--json", json, tree.dir / "tree",
                      tree.dir / "out/"}),
              0);
    const auto results = ReadJson(json);
    ASSERT_EQ(results.size(), 3u);
    for (const auto& r : results) {
        EXPECT_EQ(r["status"], "decrypted");
    }
    EXPECT_EQ(Text(tree.dir / "out/ledger.csv"), tree.originals["tree/docs/ledger.csv"]);
}

TEST(DocsalveCli, TreeWithoutContainersExitsZeroAndCreatesTheOutput) {
    TempDir dir;
    std::filesystem::create_directory(dir / "tree");
    WriteFile(dir / "tree/a.txt", "a");
    EXPECT_EQ(RunCli({"--json", dir / "r.json", dir / "tree", dir / "new/out"}), 0);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "new/out"));
    EXPECT_TRUE(ReadJson(dir / "r.json").empty());
}

TEST(DocsalveCli, UsageErrorsExitTwoBeforeTouchingAnything) {
    TempDir dir;
    std::filesystem::create_directory(dir / "tree");
    WriteFile(dir / "short.keyblob", "not a key");
    const std::string rsa1024 =
        std::string(DOCSALVE_SOURCE_DIR) + "/tests/data/rsa1024-private.keyblob";
    const std::vector<std::vector<std::string>> cases = {
        {},
        {dir / "tree"},
        {"--large", "maybe", dir / "tree", dir / "out"},
        {"--bogus", dir / "tree", dir / "out"},
        {"--partition", "0", dir / "tree", dir / "out"},
        {"--partition", "x", dir / "tree", dir / "out"},
        {dir / "missing", dir / "out"},
        {dir / "short.keyblob", dir / "out"}, // ROOT is a file
        {"--key", dir / "short.keyblob", dir / "tree", dir / "out"},
        {"--key", rsa1024, dir / "tree", dir / "out"},
        {"--key", dir / "absent.keyblob", dir / "tree", dir / "out"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        EXPECT_EQ(RunCli(args, dir / "stdout.txt"), 2);
    }
}

} // namespace
