// Scenes for the deleted-file engine's suites: NTFS images made by mkntfs and filled by
// ntfs-edit (libntfs-3g), with the originals kept on the host, and a message box provider that
// answers as it is told.
#pragma once

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "platform/message_box.h"
#include "tests/support/subprocess.h"
#include "tests/support/temp_dir.h"
#include "undelete/ntfs_undel.h"

namespace testsupport {

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(rng());
    }
    return bytes;
}

inline std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, got);
        }
        ::pclose(pipe);
    }
    return out;
}

inline bool ToolsPresent() {
    return std::filesystem::exists("/usr/sbin/mkntfs") || std::filesystem::exists("/sbin/mkntfs");
}

// An image with the scene the suite restores from. Files are kept on the host as originals.
class Scene {
public:
    Scene() {
        std::filesystem::create_directories(dir / "host");
        std::filesystem::create_directories(dir / "out");
        image = dir / "volume.img";
        std::filesystem::resize_file((Touch(image), image), 32u << 20);
        ok = RunProgram("/usr/sbin/mkntfs", {"-F", "-Q", "-q", "-s", "512", "-c", "4096", image},
                        dir / "mkntfs.log", true) == 0;
    }
    static const std::string& Touch(const std::string& path) {
        WriteFile(path, std::string());
        return path;
    }
    // Keeps `bytes` as the original of `name` and returns its host path.
    std::string Original(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir / ("host/" + name);
        WriteFile(path, bytes);
        originals[name] = bytes;
        return path;
    }
    bool Edit(const std::vector<std::string>& commands) {
        std::vector<std::string> args = {image};
        args.insert(args.end(), commands.begin(), commands.end());
        return RunProgram(NTFS_EDIT_PATH, args, dir / "edit.log", true) == 0;
    }

    TempDir dir;
    std::string image;
    bool ok = false;
    std::map<std::string, std::vector<std::uint8_t>> originals;
};

// A message box provider that records the texts and gives the answers it is told.
class ScriptedBoxes final : public platform::MessageBoxProvider {
public:
    int Show(const std::string& text, const std::string&, std::uint32_t type) override {
        texts.push_back(text);
        if ((type & platform::kMessageBoxButtonsMask) == platform::MB_OKCANCEL) {
            return answerOk ? platform::IDOK : platform::IDCANCEL;
        }
        return platform::IDOK;
    }
    std::vector<std::string> texts;
    bool answerOk = true;
};

struct BoxesInstalled {
    explicit BoxesInstalled(std::shared_ptr<ScriptedBoxes> boxes) {
        platform::SetMessageBoxProvider(std::move(boxes));
    }
    ~BoxesInstalled() { platform::SetMessageBoxProvider(nullptr); }
};

// The records from 16 on that The Sleuth Kit sees as not in use: `ils -e` lists every record
// as "number|a|..." (allocated) or "number|f|..." (free).
inline std::set<std::uint64_t> TskFreeRecords(const std::string& image) {
    std::set<std::uint64_t> records;
    std::istringstream lines(Capture("ils -e '" + image + "' 2>/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t bar = line.find('|');
        if (bar == std::string::npos || bar == 0 ||
            !std::isdigit(static_cast<unsigned char>(line[0])) ||
            line.compare(bar, 3, "|f|") != 0) {
            continue;
        }
        const std::uint64_t record = std::stoull(line.substr(0, bar));
        if (record >= 16) {
            records.insert(record);
        }
    }
    return records;
}

// Sparse files make data over 100 MB cheap to put on a small volume.
struct LargeCase {
    const char* label;
    std::uint64_t size;
    bool answerOk;
    bool asked;
    bool restored;
};

inline void RunLargeCase(const LargeCase& c) {
    Scene scene;
    ASSERT_TRUE(scene.ok);
    WriteFile(scene.dir / "host/last", std::vector<std::uint8_t>{0x5A});
    ASSERT_TRUE(scene.Edit({"put-sparse", scene.dir / "host/last", "/large.iso",
                            std::to_string(c.size - 1), "rm", "/large.iso"}));
    auto boxes = std::make_shared<ScriptedBoxes>();
    boxes->answerOk = c.answerOk;
    BoxesInstalled installed(boxes);
    CNtfsUndel engine;
    ASSERT_TRUE(engine.ScanVolume(scene.image));
    std::vector<std::string> restored;
    engine.RestoreByName(scene.dir / "out", "large.iso", restored);
    EXPECT_EQ(boxes->texts.size(), c.asked ? 1u : 0u);
    if (c.asked && !boxes->texts.empty()) {
        EXPECT_EQ(boxes->texts[0], "File size exceeds 100M, do you want to continue anyway ?");
    }
    EXPECT_EQ(restored.size(), c.restored ? 1u : 0u);
    EXPECT_EQ(std::filesystem::exists(scene.dir / "out/large.iso"), c.restored);
    if (c.restored) {
        EXPECT_EQ(std::filesystem::file_size(scene.dir / "out/large.iso"), c.size);
    }
}

inline constexpr std::uint64_t k100MB = 104857600;

} // namespace testsupport
