#include "bank/SampleDecoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace korvelt {
namespace {

using blockformat::header;

// Packs a text of '0' and '1' (other characters ignored), most significant bit first,
// into bytes padded with zeros.
std::vector<std::uint8_t> bits(const std::string& text) {
    std::vector<std::uint8_t> out;
    int n = 0;
    for (char c : text) {
        if (c != '0' && c != '1')
            continue;
        if (n % 8 == 0)
            out.push_back(0);
        if (c == '1')
            out.back() |= static_cast<std::uint8_t>(0x80 >> (n % 8));
        ++n;
    }
    return out;
}

// A stream of blocks, each a header byte and its bit text.
std::vector<std::uint8_t>
stream(std::initializer_list<std::pair<std::uint8_t, std::string>> blocks) {
    std::vector<std::uint8_t> out;
    for (const auto& [h, text] : blocks) {
        out.push_back(h);
        const auto b = bits(text);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

// Decodes from a heap copy of exactly the stream's size, so that any read past its end
// is caught by the address sanitizer.
std::vector<std::int16_t> decode(const std::vector<std::uint8_t>& s, std::int32_t blockSamples,
                                 std::size_t frames, std::size_t* decoded = nullptr) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[s.size() + (s.empty() ? 1 : 0)]);
    std::copy(s.begin(), s.end(), exact.get());
    std::vector<std::int16_t> out(frames, 0x7777);
    const std::size_t n =
        SampleDecoder::decodeStream(exact.get(), s.size(), blockSamples, out.data(), frames);
    if (decoded)
        *decoded = n;
    return out;
}

TEST(SampleDecoder, ResidualBitPatternsWithKZero) {
    EXPECT_EQ(decode(stream({{header(0, 0, false), "1"}}), 1, 1)[0], 0);
    EXPECT_EQ(decode(stream({{header(0, 0, false), "010"}}), 1, 1)[0], 0);
    EXPECT_EQ(decode(stream({{header(0, 0, false), "011"}}), 1, 1)[0], 1);
    EXPECT_EQ(decode(stream({{header(0, 0, false), "00100"}}), 1, 1)[0], -1);
    // 0001101: three zeros, then 1101 -> v = 13 - 1 = 12, residual 6.
    EXPECT_EQ(decode(stream({{header(0, 0, false), "0001101"}}), 1, 1)[0], 6);
}

TEST(SampleDecoder, ResidualLowBitsWithK) {
    // k = 2: prefix "1" gives 0, then "11" -> v = 3, residual -1.
    EXPECT_EQ(decode(stream({{header(0, 2, false), "1 11"}}), 1, 1)[0], -1);
    // k = 3: "010" gives 1, times 8, plus "100" = 12 -> residual 6.
    EXPECT_EQ(decode(stream({{header(0, 3, false), "010 100"}}), 1, 1)[0], 6);
    // Several residuals in one block, across byte boundaries.
    auto out = decode(stream({{header(0, 1, false), "1 0  011 1  00100 0  1 1"}}), 4, 4);
    // v: 0, (2<<1)|1 = 5 -> -2, (3<<1)|0 = 6 -> 3, 1 -> 0
    EXPECT_EQ(out, (std::vector<std::int16_t>{0, -2, 3, 0}));
}

TEST(SampleDecoder, SecondAndThirdOrderPredictions) {
    // 0, 10, 30 with order 0, then order 2 with zero residuals: 2*30-10 = 50, 2*50-30 = 70.
    // 10 -> v 20: 4 zeros, 10101; 30 -> v 60: 5 zeros, 111101
    auto out2 = decode(
        stream({{header(0, 0, false), "1 0000 10101 00000 111101"}, {header(2, 0, false), "1 1"}}),
        3, 5);
    EXPECT_EQ(out2, (std::vector<std::int16_t>{0, 10, 30, 50, 70}));
    // Order 3 after 0, 10, 30: 3*(30-10)+0 = 60, then 3*(60-30)+10 = 100.
    auto out3 = decode(
        stream({{header(0, 0, false), "1 0000 10101 00000 111101"}, {header(3, 0, false), "1 1"}}),
        3, 5);
    EXPECT_EQ(out3, (std::vector<std::int16_t>{0, 10, 30, 60, 100}));
    // A residual adds to the prediction: order 1 after 30 with residual -1 ("00100").
    auto out1 = decode(stream({{header(0, 0, false), "1 0000 10101 00000 111101"},
                               {header(1, 0, false), "00100 1"}}),
                       3, 5);
    EXPECT_EQ(out1, (std::vector<std::int16_t>{0, 10, 30, 29, 29}));
}

TEST(SampleDecoder, ArithmeticWrapsAtSixteenBits) {
    // 32767 then order 1 with residual +1 wraps to -32768.
    // 32767 -> v 65534: 15 zeros then 65535 in 16 bits (1111111111111111)
    const std::string big = "000000000000000 1111111111111111";
    auto out = decode(stream({{header(0, 0, false), big}, {header(1, 0, false), "011"}}), 1, 2);
    EXPECT_EQ(out, (std::vector<std::int16_t>{32767, -32768}));
    // Order 2 from 32767 and 0 (history x2 = 0): 65534 wraps to -2.
    auto out2 = decode(stream({{header(0, 0, false), big}, {header(2, 0, true), ""}}), 1, 2);
    EXPECT_EQ(out2[1], -2);
}

TEST(SampleDecoder, NoResidualBlocksUseNoStreamBytes) {
    // Order 1 without residuals repeats the last sample; the next block's header follows
    // the no-residual header directly.
    const std::string v20 = "0000 10101"; // 10
    auto out = decode(stream({{header(0, 0, false), v20 + v20 + v20 + v20},
                              {header(1, 0, true), ""},
                              {header(1, 0, false), "011"}}),
                      4, 9);
    EXPECT_EQ(out, (std::vector<std::int16_t>{10, 10, 10, 10, 10, 10, 10, 10, 11}));

    // Order 0 without residuals is silence and clears the history.
    auto zeros = decode(
        stream({{header(0, 0, false), v20}, {header(0, 0, true), ""}, {header(3, 0, false), "1"}}),
        1, 3);
    EXPECT_EQ(zeros, (std::vector<std::int16_t>{10, 0, 0}));

    // Order 2 extends a line, order 3 a parabola.
    // 0, 10, 30 (second differences 10)
    const std::string start = "1 0000 10101 00000 111101";
    auto line = decode(stream({{header(0, 0, false), start}, {header(2, 0, true), ""}}), 3, 6);
    EXPECT_EQ(line, (std::vector<std::int16_t>{0, 10, 30, 50, 70, 90}));
    auto parabola = decode(stream({{header(0, 0, false), start}, {header(3, 0, true), ""}}), 3, 6);
    EXPECT_EQ(parabola, (std::vector<std::int16_t>{0, 10, 30, 60, 100, 150}));
}

TEST(SampleDecoder, ShortNoResidualBlocksSetTheWholeHistory) {
    // After 0, 10, 30 a one-frame order-1 block without residuals sets x2 = x3 = x1 = 30,
    // so an order-3 prediction then gives 3*(30-30)+30 = 30 (not 3*(30-30)+10).
    const std::string start = "1 0000 10101 00000 111101";
    SampleDecoder d;
    std::vector<std::uint8_t> s = stream({{header(0, 0, false), start}});
    std::vector<std::int16_t> out(3);
    BlockDescriptor b{s[0], 3, out.data(), s.data() + 1, s.size() - 1};
    ASSERT_TRUE(d.decodeBlock(b));
    std::int16_t one = 0;
    BlockDescriptor repeat{header(1, 0, true), 1, &one, nullptr, 0};
    ASSERT_TRUE(d.decodeBlock(repeat));
    EXPECT_EQ(repeat.consumedBytes, 0);
    EXPECT_EQ(one, 30);
    EXPECT_EQ(d.x1(), 30);
    EXPECT_EQ(d.x2(), 30);
    EXPECT_EQ(d.x3(), 30);
    BlockDescriptor silence{header(0, 0, true), 2, out.data(), nullptr, 0};
    ASSERT_TRUE(d.decodeBlock(silence));
    EXPECT_EQ(d.x1() | d.x2() | d.x3(), 0);
}

TEST(SampleDecoder, ConsumedBytesCountsPartialBytes) {
    SampleDecoder d;
    std::vector<std::int16_t> out(8);
    const auto eightOnes = bits("11111111 1");
    BlockDescriptor b{header(0, 0, false), 8, out.data(), eightOnes.data(), eightOnes.size()};
    ASSERT_TRUE(d.decodeBlock(b));
    EXPECT_EQ(b.consumedBytes, 1); // exactly one byte, not two
    BlockDescriptor c{header(0, 0, false), 8, out.data(), eightOnes.data(), eightOnes.size()};
    SampleDecoder d2;
    c.sampleCount = 9;
    std::vector<std::int16_t> out9(9);
    c.output = out9.data();
    ASSERT_TRUE(d2.decodeBlock(c));
    EXPECT_EQ(c.consumedBytes, 2);
}

TEST(SampleDecoder, LastBlockMayBeShorter) {
    // 5 frames in blocks of 2: 2 + 2 + 1.
    auto out = decode(stream({{header(0, 0, false), "011 011"},
                              {header(1, 0, false), "011 011"},
                              {header(1, 0, false), "00100"}}),
                      2, 5);
    EXPECT_EQ(out, (std::vector<std::int16_t>{1, 1, 2, 3, 2}));
}

TEST(SampleDecoder, BitSevenOfTheHeaderIsIgnored) {
    auto out =
        decode(stream({{static_cast<std::uint8_t>(0x80 | header(0, 0, false)), "011"}}), 1, 1);
    EXPECT_EQ(out[0], 1);
}

TEST(SampleDecoder, StopsAtTheEndOfTheStream) {
    // Two frames of stream, four asked for: two decoded, the rest untouched.
    std::size_t n = 0;
    auto out = decode(stream({{header(0, 0, false), "011 011"}}), 4, 4, &n);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 1);
    EXPECT_EQ(out[2], 0x7777);

    // A block header as the last byte, with nothing after it.
    auto s = stream({{header(0, 0, false), "011"}});
    s.push_back(header(1, 0, false));
    decode(s, 1, 3, &n);
    EXPECT_EQ(n, 1u);

    // An empty stream decodes nothing.
    decode({}, 16, 10, &n);
    EXPECT_EQ(n, 0u);

    // A code cut by the end: "0000" then the stream ends inside the code.
    decode(stream({{header(0, 0, false), "011 0000"}}), 8, 8, &n);
    EXPECT_EQ(n, 1u);
}

TEST(SampleDecoder, LongStreamsStopExactlyAtTheirEnd) {
    // Many one-bit residuals (order 1, zero) in a long block: the fast path must hand over
    // to the careful one before the end and stop where the bytes stop.
    std::vector<std::uint8_t> s{header(1, 0, false)};
    s.resize(1 + 1000, 0xFF); // 8000 zero residuals available
    std::size_t n = 0;
    auto out = decode(s, 10000, 10000, &n);
    EXPECT_EQ(n, 8000u);
    EXPECT_EQ(out[7999], 0);
    EXPECT_EQ(out[8000], 0x7777);
}

TEST(SampleDecoder, ImpossibleZeroRunsEndTheStream) {
    // 21 or more zeros cannot start a residual of 16-bit audio.
    std::vector<std::uint8_t> s = stream({{header(0, 0, false), "011"}});
    s.insert(s.end(), 8, 0x00);
    s.insert(s.end(), 8, 0xFF);
    std::size_t n = 0;
    decode(s, 100, 100, &n);
    EXPECT_EQ(n, 1u); // the block is cut at its damaged second code
    // Twenty zeros are still read.
    auto ok = decode(stream({{header(0, 0, false), "00000000000000000000 1 00000000000000000000"}}),
                     1, 1, &n);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(ok[0], 1); // v = 2^20 - 1, residual -(2^19 - 1), which is 1 modulo 2^16
}

TEST(SampleDecoder, NonPositiveBlockSizeDecodesNothing) {
    const auto s = stream({{header(0, 0, false), "011"}});
    std::size_t n = 1;
    decode(s, 0, 1, &n);
    EXPECT_EQ(n, 0u);
    decode(s, -5, 1, &n);
    EXPECT_EQ(n, 0u);
}

} // namespace
} // namespace korvelt
