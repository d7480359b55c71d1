#include "bank/SampleEncoder.h"
#include "bank/SampleDecoder.h"

#include "BankTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace korvelt {
namespace {

using test::noise;
using test::sine;
using test::tone;

std::vector<std::int16_t> decodeAll(const std::vector<std::uint8_t>& stream,
                                    std::int32_t blockSamples, std::size_t frames) {
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[stream.size() + 1]);
    std::copy(stream.begin(), stream.end(), exact.get());
    std::vector<std::int16_t> out(frames, 0x5555);
    const std::size_t n =
        SampleDecoder::decodeStream(exact.get(), stream.size(), blockSamples, out.data(), frames);
    EXPECT_EQ(n, frames);
    return out;
}

std::vector<std::vector<std::int16_t>> signals() {
    std::vector<std::vector<std::int16_t>> s;
    s.push_back(sine(5000, 37.3));
    s.push_back(tone(7001, 3));
    s.push_back(noise(3000, 5));
    s.push_back(noise(2000, 6, 40));
    s.push_back(std::vector<std::int16_t>(4096, 0));
    std::vector<std::int16_t> extremes(999);
    for (std::size_t i = 0; i < extremes.size(); ++i)
        extremes[i] = (i / 3) % 2 ? 32767 : -32768;
    s.push_back(extremes);
    std::vector<std::int16_t> mixed = sine(1000, 80.0);
    mixed.insert(mixed.end(), 3000, 0);
    auto n = noise(500, 9);
    mixed.insert(mixed.end(), n.begin(), n.end());
    s.push_back(mixed);
    return s;
}

TEST(SampleEncoder, EverySignalRoundTripsAtEveryLength) {
    SampleEncoder encoder;
    for (const auto& full : signals())
        for (std::size_t length : {0, 1, 2, 3, 7, 8, 9, 15, 16, 17, 100, 1023}) {
            const std::vector<std::int16_t> frames(full.begin(),
                                                   full.begin() + std::min(length, full.size()));
            const auto r = encoder.encode(frames);
            ASSERT_GT(r.blockSamples, 0);
            EXPECT_EQ(decodeAll(r.stream, r.blockSamples, frames.size()), frames) << length;
        }
}

TEST(SampleEncoder, EveryBlockSizeRoundTrips) {
    SampleEncoder encoder;
    const auto frames = tone(9000, 21);
    for (std::int32_t block : SampleEncoder::kBlockSizes) {
        const auto stream = encoder.encode(frames, block);
        EXPECT_EQ(decodeAll(stream, block, frames.size()), frames) << block;
    }
}

TEST(SampleEncoder, ForcedCodingsOfEveryOrderRoundTrip) {
    const auto frames = tone(640, 4);
    for (int order = 0; order <= 3; ++order)
        for (int k : {0, 1, 6, 15}) {
            const std::vector<BlockCoding> codings(10, BlockCoding{order, k, false});
            const auto stream = SampleEncoder::encodeWith(frames, 64, codings);
            EXPECT_EQ(decodeAll(stream, 64, frames.size()), frames) << order << " " << k;
        }
    // Orders changing from block to block.
    std::vector<BlockCoding> codings;
    for (int b = 0; b < 10; ++b)
        codings.push_back(BlockCoding{b % 4, (b * 5) % 16, false});
    EXPECT_EQ(decodeAll(SampleEncoder::encodeWith(frames, 64, codings), 64, frames.size()), frames);
}

TEST(SampleEncoder, NoResidualBlocksOfEveryOrder) {
    // A parabola, then a line, then a constant, then silence: each block reproduced by a
    // predictor alone takes one header byte.
    std::vector<std::int16_t> frames;
    for (int i = 0; i < 64; ++i)
        frames.push_back(static_cast<std::int16_t>(i * i - 100)); // residual-coded
    std::vector<BlockCoding> codings{BlockCoding{3, 4, false}};
    // Continue the sequence exactly as each predictor extends it.
    auto extend = [&frames](int order, int n) {
        for (int t = 0; t < n; ++t) {
            const std::int32_t x1 = frames.end()[-1], x2 = frames.end()[-2], x3 = frames.end()[-3];
            const std::int32_t p = order == 0   ? 0
                                   : order == 1 ? x1
                                   : order == 2 ? 2 * x1 - x2
                                                : 3 * (x1 - x2) + x3;
            frames.push_back(static_cast<std::int16_t>(static_cast<std::uint16_t>(p)));
        }
    };
    for (int order : {3, 2, 1, 0, 1, 2}) {
        extend(order, 64);
        codings.push_back(BlockCoding{order, 0, true});
    }
    const auto stream = SampleEncoder::encodeWith(frames, 64, codings);
    EXPECT_EQ(decodeAll(stream, 64, frames.size()), frames);
    const auto first = SampleEncoder::encodeWith(
        std::vector<std::int16_t>(frames.begin(), frames.begin() + 64), 64, {&codings[0], 1});
    EXPECT_EQ(stream.size(), first.size() + 6); // one header byte per predicted block

    // The encoder finds these blocks by itself.
    SampleEncoder encoder;
    const auto chosen = encoder.chooseCodings(frames, 64);
    ASSERT_EQ(chosen.size(), 7u);
    for (std::size_t b = 1; b < chosen.size(); ++b)
        EXPECT_TRUE(chosen[b].noResidual) << b;
    EXPECT_EQ(chosen[1].order, 3);
    EXPECT_EQ(chosen[4].order, 0);
}

TEST(SampleEncoder, SilenceCostsAlmostNothing) {
    SampleEncoder encoder;
    const auto r = encoder.encode(std::vector<std::int16_t>(100000, 0));
    EXPECT_LE(r.stream.size(), 100000u / 1024);
}

TEST(SampleEncoder, SmoothSignalsCompressWell) {
    SampleEncoder encoder;
    const auto frames = sine(20000, 200.0);
    const auto r = encoder.encode(frames);
    EXPECT_LT(r.stream.size(), frames.size() * 2 / 3); // under 11 bits a frame
    EXPECT_EQ(decodeAll(r.stream, r.blockSamples, frames.size()), frames);
}

TEST(SampleEncoder, ResidualBitsMatchTheCode) {
    EXPECT_EQ(SampleEncoder::residualBits(0, 0), 1u);  // "1"
    EXPECT_EQ(SampleEncoder::residualBits(1, 0), 3u);  // "011"
    EXPECT_EQ(SampleEncoder::residualBits(-1, 0), 5u); // "00100"
    EXPECT_EQ(SampleEncoder::residualBits(0, 4), 5u);  // "1" + 4 raw bits
    EXPECT_EQ(SampleEncoder::residualBits(-32768, 0), 33u);
}

} // namespace
} // namespace korvelt
