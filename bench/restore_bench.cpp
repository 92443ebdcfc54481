// Restoring by name against many deleted records: the engine reads every candidate's name once
// and then looks names up, so N containers against M candidates cost about N + M record loads.
// The baseline beside it loads and parses every candidate again for each container (N x M).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"
#include "platform/codepage.h"
#include "undelete/ntfs_undel.h"

namespace {

constexpr int kDeletedFiles = 5000;

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// One image per process: kDeletedFiles small files written and deleted.
struct Scene {
    Scene() {
        folder = std::filesystem::temp_directory_path() /
                 ("docsalve-restore-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder / "out");
        image = (folder / "volume.img").string();
        std::ofstream(folder / "doc.txt") << "a small document\n";
        std::string commands = "mkdir /d";
        for (int i = 0; i < kDeletedFiles; ++i) {
            commands += " put " + Quote((folder / "doc.txt").string()) + " /d/f" +
                        std::to_string(i) + ".txt";
        }
        for (int i = 0; i < kDeletedFiles; ++i) {
            commands += " rm /d/f" + std::to_string(i) + ".txt";
        }
        // The command line is far longer than one shell argument may be: run it from a file.
        const std::filesystem::path script = folder / "make.sh";
        std::ofstream(script) << "truncate -s 64M " << Quote(image)
                              << " && /usr/sbin/mkntfs -F -Q -q " << Quote(image)
                              << " >/dev/null 2>&1 && " << NTFS_EDIT_PATH << " " << Quote(image)
                              << " " << commands << "\n";
        ok = std::system(("sh " + Quote(script.string())).c_str()) == 0;
    }
    ~Scene() { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
    std::string image;
    bool ok = false;
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// Names that no deleted record bears: the usual case of a container whose original is gone.
std::string MissingName(int i) {
    return "missing" + std::to_string(i) + ".docx";
}

void BM_RestoreByName_Indexed(benchmark::State& state) {
    Scene& scene = TheScene();
    if (!scene.ok) {
        state.SkipWithError("could not make the image");
        return;
    }
    const int containers = static_cast<int>(state.range(0));
    for (auto _ : state) {
        CNtfsUndel engine;
        engine.ScanVolume(scene.image);
        for (int i = 0; i < containers; ++i) {
            std::vector<std::string> restored;
            engine.RestoreByName((scene.folder / "out").string(), MissingName(i), restored);
        }
    }
    state.counters["containers"] = containers;
    state.counters["candidates"] = kDeletedFiles;
}
BENCHMARK(BM_RestoreByName_Indexed)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

// What every container costs without an index: each candidate loaded, parsed and named.
void BM_RestoreByName_RescanBaseline(benchmark::State& state) {
    Scene& scene = TheScene();
    if (!scene.ok) {
        state.SkipWithError("could not make the image");
        return;
    }
    const int containers = static_cast<int>(state.range(0));
    const auto& codePage = platform::ActiveCodePage();
    for (auto _ : state) {
        CNtfsUndel engine;
        engine.ScanVolume(scene.image);
        for (int i = 0; i < containers; ++i) {
            const std::string wanted = MissingName(i);
            CFileRecord record(engine.Volume());
            record.SetAttrMask(0x87);
            std::array<char, CFileRecord::kAnsiNameCapacity> name{};
            int matches = 0;
            for (std::uint64_t n : engine.DeletedRecords()) {
                if (!record.LoadRecord(n) || !record.ParseAttributes()) {
                    continue;
                }
                name.fill('\0');
                const std::int32_t length = record.GetAnsiName(name);
                if (length > 0 &&
                    codePage.EqualsNoCase(std::string_view(name.data(), length), wanted)) {
                    ++matches;
                }
            }
            benchmark::DoNotOptimize(matches);
        }
    }
    state.counters["containers"] = containers;
    state.counters["candidates"] = kDeletedFiles;
}
BENCHMARK(BM_RestoreByName_RescanBaseline)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
