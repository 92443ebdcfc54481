// Whole-container decryption: a 256 MB container made by make-container, decrypted into a
// fresh file each iteration. Reports throughput and the growth of the peak resident set, which
// stays flat because the body streams through two 1 MB buffers.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "decrypt/ransom_decryptor.h"

namespace {

constexpr std::size_t kDocumentSize = 256u << 20;

long PeakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Made once per process; removed at exit.
struct Scenario {
    Scenario() {
        folder =
            std::filesystem::temp_directory_path() / ("docsalve-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder / "out");
        {
            std::ofstream doc(folder / "big.bin", std::ios::binary);
            std::string chunk(1 << 20, '\0');
            std::uint32_t x = 12345;
            for (std::size_t done = 0; done < kDocumentSize; done += chunk.size()) {
                for (char& c : chunk) {
                    x = x * 1103515245u + 12345u;
                    c = static_cast<char>(x >> 24);
                }
                doc.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            }
        }
        const std::string command = std::string(MAKE_CONTAINER_PATH) + " --key-bytes " +
                                    std::to_string(keyBytes) + " " + DOCSALVE_SOURCE_DIR +
                                    "/keys/demo-public.pem " + (folder / "big.bin").string() + " " +
                                    (folder / "big.bin.WNCRY").string();
        ok = std::system(command.c_str()) == 0;
        std::filesystem::remove(folder / "big.bin");
    }
    ~Scenario() { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
    int keyBytes = 16;
    bool ok = false;
};

void BM_DecryptContainer256MB(benchmark::State& state) {
    static Scenario scenario;
    if (!scenario.ok) {
        state.SkipWithError("make-container failed");
        return;
    }
    RansomDecryptor decryptor;
    const long rssBefore = PeakRssKb();
    for (auto _ : state) {
        const std::string out = decryptor.DecryptContainer(
            (scenario.folder / "big.bin.WNCRY").string(), (scenario.folder / "out").string());
        if (out.empty()) {
            state.SkipWithError("decryption failed");
            return;
        }
        state.PauseTiming();
        std::filesystem::remove(out);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kDocumentSize));
    state.counters["peak_rss_growth_kb"] = static_cast<double>(PeakRssKb() - rssBefore);
}
BENCHMARK(BM_DecryptContainer256MB)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
