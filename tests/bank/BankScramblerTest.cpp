#include "bank/BankScrambler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace korvelt {
namespace {

TEST(BankScrambler, KeyHasNoZeroByte) {
    EXPECT_EQ(std::count(bankKeyTable.begin(), bankKeyTable.end(), 0), 0);
}

TEST(BankScrambler, FortyThreeBytesFromZeroComeBackToZero) {
    BankScrambler s;
    std::vector<std::uint8_t> bytes(43, 0);
    s.unscramble(bytes.data(), bytes.size());
    EXPECT_EQ(s.keyPosition(), 0u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), bankKeyTable.begin()));
}

TEST(BankScrambler, TwiceFromTheSamePositionRestoresTheBytes) {
    std::vector<std::uint8_t> plain(300);
    std::iota(plain.begin(), plain.end(), 7);
    std::vector<std::uint8_t> bytes = plain;
    BankScrambler s;
    s.setKeyPosition(1000);
    s.unscramble(bytes.data(), bytes.size());
    EXPECT_NE(bytes, plain);
    s.setKeyPosition(1000);
    s.unscramble(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, plain);
}

TEST(BankScrambler, KeyFollowsTheAbsolutePosition) {
    // Unscrambling in pieces, or after skipping, matches doing it in one go.
    std::vector<std::uint8_t> whole(200, 0x5A);
    BankScrambler one;
    one.setKeyPosition(17);
    one.unscramble(whole.data(), whole.size());

    std::vector<std::uint8_t> parts(200, 0x5A);
    BankScrambler pieces;
    pieces.setKeyPosition(17);
    pieces.unscramble(parts.data(), 10);
    pieces.advanceKeyPosition(90); // skipped, not read
    pieces.unscramble(parts.data() + 100, 100);
    EXPECT_TRUE(std::equal(parts.begin(), parts.begin() + 10, whole.begin()));
    EXPECT_TRUE(std::equal(parts.begin() + 100, parts.end(), whole.begin() + 100));
    EXPECT_EQ(pieces.keyPosition(), one.keyPosition());
    for (std::size_t i = 0; i < whole.size(); ++i)
        ASSERT_EQ(whole[i], 0x5A ^ bankKeyTable[(17 + i) % 43]) << i;
}

TEST(BankScrambler, AdvanceTakesSixtyFourBitCounts) {
    BankScrambler s;
    s.setKeyPosition(5);
    const std::uint64_t n = (std::uint64_t(1) << 40) + 3;
    s.advanceKeyPosition(n);
    EXPECT_EQ(s.keyPosition(), (5 + n) % 43);
    s.setKeyPosition(std::uint64_t(1) << 63);
    EXPECT_EQ(s.keyPosition(), (std::uint64_t(1) << 63) % 43);
}

} // namespace
} // namespace korvelt
