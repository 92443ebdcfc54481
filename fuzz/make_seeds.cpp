// Writes the seed corpora of the NTFS fuzz targets: hand-built records and volumes, and, when
// they are at hand, records and boot sectors taken from real images (the Windows fixtures and
// the mkntfs image the real-image suite makes).
// Usage: fuzz_make_seeds OUT_DIR [IMAGE[@SECTOR_OFFSET]...]
#include "tests/ntfs/image_builder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using ntfs_test::Bytes;

void Write(const fs::path& dir, const std::string& name, const Bytes& bytes) {
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t length) {
    if (from >= b.size()) {
        return {};
    }
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), from + length)));
}

Bytes ReadAt(const std::string& path, std::uint64_t offset, std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    Bytes out(length);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(length));
    out.resize(static_cast<std::size_t>(in.gcount()));
    return out;
}

std::uint64_t Le(const Bytes& b, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes; i-- > 0;) {
        v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
    }
    return v;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT_DIR [IMAGE[@SECTOR_OFFSET]...]\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];
    using namespace ntfs_test;

    // Run lists: an 8-byte span, then mapping pairs.
    const Bytes spans[] = {
        {0x3F, 0, 0, 0, 0, 0, 0, 0, 0x31, 0x40, 0x00, 0x10, 0x00, 0x00},
        {0x2F, 0, 0, 0, 0, 0, 0, 0, 0x21, 0x10, 0x00, 0x10, 0x21, 0x20, 0x20, 0xF0, 0x00},
        {0x13, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x08, 0x10, 0x01, 0x08, 0x11, 0x04, 0x05, 0x00},
        {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00},
    };
    int i = 0;
    for (const Bytes& s : spans) {
        Write(out / "run_list", "layout" + std::to_string(i++), s);
    }

    // Records: a flag byte (1: the bytes are already fixed up) and records 20 to 23 of a
    // built volume: resident and non-resident data, names, an attribute list.
    ImageBuilder builder;
    builder.SetRecord(
        20,
        RecordLayout{true,
                     {StdInfo(), FileName("report.docx"),
                      ResidentAttribute(0x20, AttrListValue({{0x80, 21}, {0x30, 22}})),
                      NonResidentAttribute(0x80, EncodeRuns({{40, 2}, {std::nullopt, 3}, {42, 1}}),
                                           0, 5, 6 * 4096, 5 * 4096 + 7)}});
    builder.SetRecord(21, RecordLayout{true, {ResidentAttribute(0x80, Utf16("extension data"))}});
    builder.SetRecord(
        22, RecordLayout{false, {FileName("REPORT~1.DOC", 2), FileName("report.docx", 1)}});
    builder.SetRecord(23, RecordLayout{true, {ResidentAttribute(0x90, Bytes(0x40, 0x10), "$I30")}});
    const Bytes built = builder.Build();
    Bytes recordSeed = {1};
    const Bytes records = Slice(built, 4 * 4096 + 20 * 1024, 4 * 1024);
    recordSeed.insert(recordSeed.end(), records.begin(), records.end());
    Write(out / "file_record", "built", recordSeed);

    // Volumes: the first 80 KB of a built volume (boot sector and table), bare and in an MBR.
    Write(out / "volume_open", "built", Slice(built, 0, 80 * 1024));
    Geometry small;
    small.clusters = 64;
    Write(out / "volume_open", "built_mbr",
          Slice(WrapInMbr(ImageBuilder(small).Build(), 8), 0, 96 * 1024));

    // Real images: their first records as record seeds, and boot sector plus records 0-15
    // repacked with the table right after the boot sector's cluster.
    for (int a = 2; a < argc; ++a) {
        std::string path = argv[a];
        std::uint64_t sectorOffset = 0;
        if (const auto at = path.rfind('@'); at != std::string::npos) {
            sectorOffset = std::strtoull(path.c_str() + at + 1, nullptr, 10);
            path.resize(at);
        }
        const std::uint64_t start = sectorOffset * 512;
        Bytes boot = ReadAt(path, start, 512);
        if (boot.size() < 512) {
            continue;
        }
        const std::uint64_t sector = Le(boot, 0x0B, 2);
        std::uint64_t spc = Le(boot, 0x0D, 1);
        spc = spc > 0x80 ? (std::uint64_t{1} << (256 - spc)) : spc;
        const std::uint64_t cluster = sector * spc;
        const std::uint64_t mft = Le(boot, 0x30, 8) * cluster;
        if (cluster == 0 || cluster > (1u << 21)) {
            continue;
        }
        const std::string stem = fs::path(path).filename().string();
        for (std::uint64_t r = 0; r < 48; r += 4) {
            Bytes seed = {1};
            const Bytes recs = ReadAt(path, start + mft + (16 + r) * 1024, 4 * 1024);
            seed.insert(seed.end(), recs.begin(), recs.end());
            Write(out / "file_record", stem + "_" + std::to_string(16 + r), seed);
        }
        // Table right after the boot sector: cluster 1 when clusters are at least 4 KB.
        if (cluster >= 4096 && cluster <= 64 * 1024) {
            Bytes volume = boot;
            volume.resize(cluster, 0);
            for (int b = 0; b < 8; ++b) {
                volume[0x30 + b] = static_cast<std::uint8_t>(b == 0 ? 1 : 0);
            }
            const Bytes table = ReadAt(path, start + mft, 16 * 1024);
            volume.insert(volume.end(), table.begin(), table.end());
            Write(out / "volume_open", stem, volume);
        }
    }
    return 0;
}
