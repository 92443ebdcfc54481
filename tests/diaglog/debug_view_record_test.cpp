// The viewer record's layout and its decoding from untrusted bytes.
#include "diaglog/debug_view_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(DebugViewRecord, LayoutIsSizeKindAndZeroFilledText) {
    const DebugViewRecord r = EncodeDebugViewRecord("[x]hi\r\n");
    ASSERT_EQ(r.size(), 2056u);
    EXPECT_EQ(std::vector<std::uint8_t>(r.begin(), r.begin() + 8),
              (std::vector<std::uint8_t>{0x08, 0x08, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(std::string(r.begin() + 8, r.begin() + 15), "[x]hi\r\n");
    for (std::size_t i = 15; i < r.size(); ++i) {
        ASSERT_EQ(r[i], 0) << "at " << i;
    }
}

TEST(DebugViewRecord, LongLineIsCutToKeepItsNul) {
    const DebugViewRecord r = EncodeDebugViewRecord(std::string(3000, 'a'));
    EXPECT_EQ(r[8 + 2046], 'a');
    EXPECT_EQ(r[8 + 2047], 0);
    const auto decoded = DecodeDebugViewRecord(r);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, std::string(2047, 'a'));
}

struct BadRecordCase {
    const char* name;
    std::size_t offset;
    std::uint8_t value;
    std::size_t length;
};

TEST(DebugViewRecord, DecodeRefusesMalformedRecords) {
    const BadRecordCase cases[] = {
        {"short packet", 0, 0x08, 2055},         {"long packet", 0, 0x08, 2057},
        {"size field wrong", 0, 0x09, 2056},     {"kind field wrong", 4, 2, 2056},
        {"no NUL in the text", 2055, 'z', 2056},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DebugViewRecord good = EncodeDebugViewRecord(std::string(2047, 'y'));
        std::vector<std::uint8_t> bytes(good.begin(), good.end());
        bytes[c.offset] = c.value;
        bytes.resize(c.length, 0);
        EXPECT_FALSE(DecodeDebugViewRecord(bytes));
    }
    EXPECT_FALSE(DecodeDebugViewRecord({}));
}
