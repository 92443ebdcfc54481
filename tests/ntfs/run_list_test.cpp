// Mapping-pair decoding: byte sequences of real and damaged run lists.
#include "ntfs/attr_non_resident.h"
#include "tests/ntfs/image_builder.h"

#include <gtest/gtest.h>

namespace {

using ntfs_test::Bytes;

struct Want {
    std::int64_t lcn;
    std::uint64_t clusters;
    std::uint64_t startVcn;
    std::uint64_t lastVcn;
};

struct RunCase {
    const char* name;
    Bytes runs;             // placed at the runs offset; the attribute ends right after them
    std::uint64_t lastVcn;  // header last VCN (starting VCN is `startVcn`)
    std::uint64_t startVcn; // header starting VCN
    std::vector<Want> want;
    bool valid;
};

constexpr std::int64_t kSparse = -1;

const RunCase kRunCases[] = {
    {"one run, three positive offset bytes",
     {0x31, 0x40, 0x00, 0x10, 0x00, 0x00},
     0x3F,
     0,
     {{0x1000, 0x40, 0, 0x3F}},
     true},
    {"second run steps back by a negative offset",
     {0x21, 0x10, 0x00, 0x10, 0x21, 0x20, 0x20, 0xF0, 0x00},
     0x2F,
     0,
     {{0x1000, 0x10, 0, 0x0F}, {0x20, 0x20, 0x10, 0x2F}},
     true},
    {"sparse run keeps the accumulated LCN for the next run",
     {0x11, 0x08, 0x10, 0x01, 0x08, 0x11, 0x04, 0x05, 0x00},
     0x13,
     0,
     {{0x10, 8, 0, 7}, {kSparse, 8, 8, 15}, {0x15, 4, 16, 19}},
     true},
    {"explicit zero offset is sparse too",
     {0x11, 0x02, 0x10, 0x11, 0x02, 0x00, 0x00},
     3,
     0,
     {{0x10, 2, 0, 1}, {kSparse, 2, 2, 3}},
     true},
    {"no runs at all", {0x00}, ~0ull, 0, {}, true},
    {"length field of nine bytes ends decoding, earlier runs stand",
     {0x11, 0x04, 0x10, 0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00},
     0x100,
     0,
     {{0x10, 4, 0, 3}},
     true},
    {"offset field of nine bytes ends decoding",
     {0x11, 0x04, 0x10, 0x91, 0x01, 0x00},
     0x100,
     0,
     {{0x10, 4, 0, 3}},
     true},
    {"length with the top bit set ends decoding",
     {0x11, 0x04, 0x10, 0x18, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x00},
     0x100,
     0,
     {{0x10, 4, 0, 3}},
     true},
    {"accumulated LCN below zero invalidates, earlier runs stay",
     {0x11, 0x04, 0x10, 0x11, 0x04, 0xE0, 0x00},
     0x100,
     0,
     {{0x10, 4, 0, 3}},
     false},
    {"run beyond the header's VCN span empties the list",
     {0x11, 0x04, 0x10, 0x11, 0x08, 0x10, 0x00},
     5,
     0,
     {},
     false},
    {"span is last minus starting VCN",
     {0x11, 0x04, 0x10, 0x00},
     0x23,
     0x20,
     {{0x10, 4, 0, 3}},
     true},
    {"later part of a stream that is one cluster too long",
     {0x11, 0x05, 0x10, 0x00},
     0x23,
     0x20,
     {},
     false},
    {"zero-length first run fails for a normal span", {0x01, 0x00, 0x00}, 0x10, 0, {}, false},
    {"zero-length first run passes an all-ones span",
     {0x01, 0x00, 0x00},
     ~0ull,
     0,
     {{kSparse, 0, 0, ~0ull}},
     true},
    {"missing end marker stops at the attribute's end",
     {0x11, 0x04, 0x10, 0x11, 0x02, 0x20},
     0x100,
     0,
     {{0x10, 4, 0, 3}, {0x30, 2, 4, 5}},
     true},
    {"run cut off by the attribute's end is dropped",
     {0x11, 0x04, 0x10, 0x31, 0x02, 0x20},
     0x100,
     0,
     {{0x10, 4, 0, 3}},
     true},
    {"eight-byte offset reaching the top of the signed range",
     {0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
     0,
     0,
     {{0x7FFFFFFFFFFFFFFF, 1, 0, 0}},
     true},
};

// The attribute header with the runs placed right after it and nothing beyond them.
Bytes Header(const RunCase& c) {
    Bytes h = ntfs_test::NonResidentAttribute(0x80, {}, c.startVcn, c.lastVcn, 0, 0).bytes;
    h.resize(0x40);
    h.insert(h.end(), c.runs.begin(), c.runs.end());
    return h;
}

TEST(DataRuns, DecodesTable) {
    for (const RunCase& c : kRunCases) {
        SCOPED_TRACE(c.name);
        const Bytes header = Header(c);
        CSList<tagDataRun_Entry> runs;
        const bool valid = CAttrNonResident::DecodeRunList(header, c.lastVcn - c.startVcn, runs);
        EXPECT_EQ(valid, c.valid);
        std::vector<Want> got;
        for (tagDataRun_Entry* e = runs.First(); e != nullptr; e = runs.Next()) {
            got.push_back({e->lcn, e->clusters, e->startVcn, e->lastVcn});
        }
        ASSERT_EQ(got.size(), c.want.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(got[i].lcn, c.want[i].lcn);
            EXPECT_EQ(got[i].clusters, c.want[i].clusters);
            EXPECT_EQ(got[i].startVcn, c.want[i].startVcn);
            EXPECT_EQ(got[i].lastVcn, c.want[i].lastVcn);
        }
    }
}

TEST(DataRuns, HeaderTooShortOrRunsOffsetOutsideReadNothingOutside) {
    Bytes tiny(0x21, 0); // cannot hold the 16-bit runs offset at 0x20
    CSList<tagDataRun_Entry> runs;
    EXPECT_FALSE(CAttrNonResident::DecodeRunList(tiny, 0, runs));
    Bytes header =
        ntfs_test::NonResidentAttribute(0x80, {0x11, 0x01, 0x10, 0x00}, 0, 0, 0, 0).bytes;
    header[0x20] = 0xF0; // runs offset far beyond the attribute: an empty run list
    header[0x21] = 0xFF;
    EXPECT_TRUE(CAttrNonResident::DecodeRunList(header, 0, runs));
    EXPECT_EQ(runs.Count(), 0);
}

TEST(DataRuns, EncoderAndDecoderAgreeOnFragmentedLists) {
    // Round trip through the test encoder: long lists with offsets of every width and sign.
    std::vector<ntfs_test::Run> model;
    std::int64_t lcn = 1;
    for (int i = 0; i < 200; ++i) {
        const std::int64_t step =
            (i % 3 == 0) ? -((std::int64_t{1} << (i % 40)) / 3 + 1) : (std::int64_t{1} << (i % 47));
        if (i % 7 == 3) {
            model.push_back({std::nullopt, static_cast<std::uint64_t>(i + 1)});
            continue;
        }
        lcn = lcn + step > 0 ? lcn + step : lcn + 1; // a zero step would read as sparse
        model.push_back({lcn, static_cast<std::uint64_t>(i % 5 + 1) << (i % 20)});
    }
    std::uint64_t total = 0;
    for (const auto& r : model) {
        total += r.clusters;
    }
    Bytes header =
        ntfs_test::NonResidentAttribute(0x80, ntfs_test::EncodeRuns(model), 0, total - 1, 0, 0)
            .bytes;
    CSList<tagDataRun_Entry> runs;
    ASSERT_TRUE(CAttrNonResident::DecodeRunList(header, total - 1, runs));
    ASSERT_EQ(runs.Count(), static_cast<std::int32_t>(model.size()));
    std::uint64_t vcn = 0;
    tagDataRun_Entry* e = runs.First();
    for (const auto& r : model) {
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->lcn, r.lcn.value_or(-1));
        EXPECT_EQ(e->clusters, r.clusters);
        EXPECT_EQ(e->startVcn, vcn);
        vcn += r.clusters;
        e = runs.Next();
    }
}

} // namespace
