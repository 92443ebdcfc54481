// Loading and parsing master file table records from a real image: the rate at which the scan
// (load only, deleted-only mode) and the restore (load and parse names and data) get through a
// table. Run: ntfs_bench IMAGE [benchmark flags], or set DOCSALVE_NTFS_BENCH_IMAGE.
#include "ntfs/attr_base.h"
#include "ntfs/file_record.h"
#include "ntfs/ntfs_volume.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::string g_imagePath;

std::unique_ptr<CNTFSVolume> OpenBenchVolume(benchmark::State& state, std::uint64_t& records) {
    if (g_imagePath.empty()) {
        state.SkipWithError("no image: pass its path or set DOCSALVE_NTFS_BENCH_IMAGE");
        return nullptr;
    }
    auto volume = std::make_unique<CNTFSVolume>(g_imagePath);
    if (!volume->IsReady() || volume->MftData() == nullptr) {
        state.SkipWithError("the image does not open as an NTFS volume");
        return nullptr;
    }
    records = volume->MftData()->QueryDataLength(nullptr) / volume->RecordSize();
    return volume;
}

// What the restore does per candidate: load, then build standard information, attribute
// list, file names and data.
void BM_LoadAndParseEveryRecord(benchmark::State& state) {
    std::uint64_t records = 0;
    auto volume = OpenBenchVolume(state, records);
    if (!volume) {
        return;
    }
    std::uint64_t parsed = 0;
    for (auto _ : state) {
        CFileRecord record(volume.get());
        record.SetAttrMask(0x87);
        for (std::uint64_t n = 0; n < records; ++n) {
            if (record.LoadRecord(n) && record.ParseAttributes()) {
                ++parsed;
            }
        }
        benchmark::DoNotOptimize(parsed);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * records));
    state.counters["records"] = static_cast<double>(records);
}

// What the scan does per record: a fresh record object, loaded in deleted-only mode.
void BM_ScanEveryRecord(benchmark::State& state) {
    std::uint64_t records = 0;
    auto volume = OpenBenchVolume(state, records);
    if (!volume) {
        return;
    }
    std::uint64_t deleted = 0;
    for (auto _ : state) {
        for (std::uint64_t n = 16; n < records; ++n) {
            CFileRecord record(volume.get());
            record.SetDeletedOnly(true);
            deleted += record.LoadRecord(n) ? 1 : 0;
        }
        benchmark::DoNotOptimize(deleted);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * (records - 16)));
}

BENCHMARK(BM_LoadAndParseEveryRecord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanEveryRecord)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (argc > 1) {
        g_imagePath = argv[1];
    } else if (const char* env = std::getenv("DOCSALVE_NTFS_BENCH_IMAGE")) {
        g_imagePath = env;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
