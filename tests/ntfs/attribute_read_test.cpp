// Reading attribute data at any offset: resident values, and non-resident data through runs
// that are fragmented, sparse, short of their data size or pointing off the volume.
#include "ntfs/attr_non_resident.h"
#include "ntfs/attr_resident.h"
#include "tests/ntfs/test_volume.h"

#include <gtest/gtest.h>

namespace {

using namespace ntfs_test;

constexpr std::uint64_t kRecord = 20;
constexpr std::uint64_t kVolumeClusters = 256;

std::uint8_t Pattern(std::uint64_t lcn, std::uint64_t i) {
    return static_cast<std::uint8_t>(lcn * 131 + i * 7 + 3 + (i >> 8));
}

struct Layout {
    const char* name;
    std::vector<Run> runs;
    std::uint64_t dataSize;
    std::uint64_t lastVcn; // header last VCN
};

struct Read {
    std::uint64_t offset;
    std::uint32_t length;
};

// What a correct reader returns, worked out from the layout alone: bytes of mapped clusters as
// written, zeros for sparse ones, failure where a needed cluster is not covered or not on the
// volume, or the offset lies beyond the data.
bool Expect(const Layout& l, std::uint32_t cs, Read r, Bytes& out) {
    out.clear();
    if (r.length == 0) {
        return true;
    }
    if (r.offset > l.dataSize) {
        return false;
    }
    const std::uint64_t end = std::min<std::uint64_t>(l.dataSize, r.offset + r.length);
    for (std::uint64_t off = r.offset; off < end; ++off) {
        const std::uint64_t vcn = off / cs;
        if (vcn > l.lastVcn) {
            return false;
        }
        std::uint64_t start = 0;
        bool found = false;
        for (const Run& run : l.runs) {
            if (vcn >= start && vcn < start + run.clusters) {
                if (!run.lcn) {
                    out.push_back(0);
                } else {
                    const std::uint64_t lcn = *run.lcn + (vcn - start);
                    if (lcn >= kVolumeClusters) {
                        return false;
                    }
                    out.push_back(Pattern(lcn, off % cs));
                }
                found = true;
                break;
            }
            start += run.clusters;
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

const Layout kLayouts[] = {
    {"contiguous, last cluster partly used", {{100, 4}}, 4 * 4096 - 100, 3},
    {"fragmented with a backward step", {{100, 2}, {50, 3}, {200, 1}}, 6 * 4096, 5},
    {"sparse middle", {{100, 2}, {std::nullopt, 20}, {120, 2}}, 24 * 4096, 23},
    {"data size beyond the runs", {{100, 2}}, 3 * 4096, 2},
    {"run pointing past the volume", {{100, 1}, {250, 10}}, 11 * 4096, 10},
};

const Read kReads[] = {
    {0, 1},
    {0, 4096},
    {4091, 10},
    {4096, 3 * 4096},
    {0, 64 * 1024},
    {5000, 70000},
    {8192, 65536},
    {4 * 4096 - 100, 10},
    {4 * 4096 - 101, 50},
    {6 * 4096, 1},
    {6 * 4096 + 1, 1},
    {24 * 4096, 5},
    {24 * 4096 + 1, 5},
    {3 * 4096 - 1, 2},
    {10 * 4096 + 17, 4096},
    {123, 0},
};

TEST(NonResidentRead, MatchesLayoutModel) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.name);
        ImageBuilder builder;
        for (std::uint64_t lcn = 30; lcn < kVolumeClusters; ++lcn) {
            Bytes cluster(builder.ClusterSize());
            for (std::size_t i = 0; i < cluster.size(); ++i) {
                cluster[i] = Pattern(lcn, i);
            }
            builder.WriteClusters(lcn, cluster);
        }
        auto opened = OpenRecord(builder, kRecord,
                                 {StdInfo(), FileName("file"),
                                  NonResidentAttribute(0x80, EncodeRuns(l.runs), 0, l.lastVcn,
                                                       (l.lastVcn + 1) * 4096, l.dataSize)});
        ASSERT_TRUE(opened.parsed);
        CAttrBase* data = opened.record->FindUnnamedData();
        ASSERT_NE(data, nullptr);
        EXPECT_TRUE(data->IsDataValid());
        std::uint64_t allocated = 0;
        EXPECT_EQ(data->QueryDataLength(&allocated), l.dataSize);
        EXPECT_EQ(allocated, (l.lastVcn + 1) * 4096);
        EXPECT_EQ(data->QueryDataLength(nullptr), l.dataSize);
        for (const Read& r : kReads) {
            SCOPED_TRACE(testing::Message() << "offset " << r.offset << " length " << r.length);
            Bytes want;
            const bool wantOk = Expect(l, 4096, r, want);
            Bytes got(r.length + 16, 0xCC);
            std::uint32_t n = 12345;
            const bool ok = data->ReadValueAt(r.offset, got.data(), r.length, &n);
            ASSERT_EQ(ok, wantOk);
            if (ok) {
                ASSERT_EQ(n, want.size());
                EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
                EXPECT_EQ(got[r.length], 0xCC) << "wrote past the requested length";
            }
        }
    }
}

TEST(NonResidentRead, NegativeLcnLeavesEarlierRunsReadable) {
    ImageBuilder builder;
    Bytes cluster(4096, 0x5A);
    builder.WriteClusters(40, cluster);
    // Run 1 at LCN 40, run 2 steps 0x50 back: below zero.
    auto opened = OpenRecord(
        builder, kRecord,
        {StdInfo(), NonResidentAttribute(0x80, {0x11, 1, 40, 0x11, 1, 0xB0, 0}, 0, 1, 8192, 8192)});
    ASSERT_TRUE(opened.parsed);
    CAttrBase* data = opened.record->FindUnnamedData();
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->IsDataValid());
    Bytes got(4096);
    std::uint32_t n = 0;
    EXPECT_TRUE(data->ReadValueAt(0, got.data(), 4096, &n));
    EXPECT_EQ(n, 4096u);
    EXPECT_EQ(got, cluster);
    EXPECT_FALSE(data->ReadValueAt(4096, got.data(), 4096, &n));
}

TEST(ResidentRead, OffsetsAndLengths) {
    ImageBuilder builder;
    const Bytes value = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    auto opened = OpenRecord(builder, kRecord, {StdInfo(), ResidentAttribute(0x80, value)});
    ASSERT_TRUE(opened.parsed);
    CAttrBase* data = opened.record->FindUnnamedData();
    ASSERT_NE(data, nullptr);
    struct Case {
        std::uint64_t offset;
        std::uint32_t length;
        bool ok;
        std::uint32_t n;
    };
    const Case cases[] = {{0, 10, true, 10}, {2, 100, true, 8}, {9, 1, true, 1},
                          {10, 1, false, 0}, {10, 0, true, 0},  {~0ull, 5, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        Bytes got(128, 0);
        std::uint32_t n = 99;
        EXPECT_EQ(data->ReadValueAt(c.offset, got.data(), c.length, &n), c.ok);
        EXPECT_EQ(n, c.n);
        if (c.ok && c.n != 0) {
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + c.n, value.begin() + c.offset));
        }
    }
    std::uint64_t allocated = 0;
    EXPECT_EQ(data->QueryDataLength(&allocated), 10u);
    EXPECT_EQ(allocated, 10u);
}

TEST(ResidentRead, ValueOutsideTheAttributeIsEmpty) {
    ImageBuilder builder;
    Attribute a = ResidentAttribute(0x80, Bytes(16, 7));
    a.bytes[0x14] = 0xF0; // value offset far past the attribute's end
    auto opened = OpenRecord(builder, kRecord, {StdInfo(), a});
    ASSERT_TRUE(opened.parsed);
    CAttrBase* data = opened.record->FindUnnamedData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->QueryDataLength(nullptr), 0u);
    std::uint8_t b = 0;
    EXPECT_FALSE(data->ReadValueAt(0, &b, 1, nullptr));
}

TEST(LargeClusters, TwoMegabyteClustersReadAcrossClusterEdges) {
    Geometry g;
    g.sectorsPerClusterByte = 0xF4; // 2^(256-244) = 4096 sectors of 512 bytes
    g.mftCluster = 1;
    g.clusters = 6;
    ImageBuilder builder(g);
    ASSERT_EQ(builder.ClusterSize(), 2u * 1024 * 1024);
    for (std::uint64_t lcn = 3; lcn < 6; ++lcn) {
        Bytes cluster(builder.ClusterSize());
        for (std::size_t i = 0; i < cluster.size(); ++i) {
            cluster[i] = Pattern(lcn, i);
        }
        builder.WriteClusters(lcn, cluster);
    }
    const std::uint64_t cs = builder.ClusterSize();
    auto opened = OpenRecord(builder, kRecord,
                             {StdInfo(), NonResidentAttribute(0x80, EncodeRuns({{5, 1}, {3, 1}}), 0,
                                                              1, 2 * cs, 2 * cs - 7)});
    ASSERT_TRUE(opened.parsed);
    EXPECT_EQ(opened.opened.volume->ClusterSize(), cs);
    CAttrBase* data = opened.record->FindUnnamedData();
    ASSERT_NE(data, nullptr);
    Bytes got(64);
    std::uint32_t n = 0;
    ASSERT_TRUE(data->ReadValueAt(cs - 32, got.data(), 64, &n));
    ASSERT_EQ(n, 64u);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(got[i], Pattern(5, cs - 32 + i));
        EXPECT_EQ(got[32 + i], Pattern(3, i));
    }
    ASSERT_TRUE(data->ReadValueAt(2 * cs - 10, got.data(), 64, &n));
    EXPECT_EQ(n, 3u);
}

} // namespace
