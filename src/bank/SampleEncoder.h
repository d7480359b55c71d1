#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korvelt {

// How one block is coded (see the block format in SampleDecoder.h).
struct BlockCoding {
    int order = 0;           // predictor order 0 ... 3
    int k = 0;               // raw low bits per residual 0 ... 15
    bool noResidual = false; // the predictor alone reproduces the block
    bool operator==(const BlockCoding&) const = default;
};

// Writes the compressed sample format. For each sample it tries a range of block sizes
// and, for every block, every predictor order and every k (and the no-residual form where
// it reproduces the block exactly), keeping the shortest stream.
class SampleEncoder {
public:
    struct Result {
        std::vector<std::uint8_t> stream; // plain (not scrambled)
        std::int32_t blockSamples = 0;
    };

    // The block sizes tried. Each divides kSegmentFrames.
    static constexpr std::int32_t kBlockSizes[] = {16,  24,  32,  48,   64,   96,   128,  192, 256,
                                                   384, 512, 768, 1024, 1536, 2048, 3072, 4096};

    // The shortest stream over the block sizes tried.
    Result encode(std::span<const std::int16_t> frames);
    // The shortest stream with the given block size (a multiple of 8).
    std::vector<std::uint8_t> encode(std::span<const std::int16_t> frames,
                                     std::int32_t blockSamples);
    // The cheapest coding of each block with the given block size (a multiple of 8).
    std::vector<BlockCoding> chooseCodings(std::span<const std::int16_t> frames,
                                           std::int32_t blockSamples);

    // Writes the frames with the codings given, one per block of blockSamples frames (any
    // positive size). A no-residual coding must reproduce its block exactly, given the
    // history the decoder keeps; the stream is otherwise wrong.
    static std::vector<std::uint8_t> encodeWith(std::span<const std::int16_t> frames,
                                                std::int32_t blockSamples,
                                                std::span<const BlockCoding> codings);

    // Bits of one residual coded with parameter k.
    static unsigned residualBits(std::int32_t residual, unsigned k) noexcept;

private:
    static constexpr std::size_t kUnit = 8;                 // frames per cost unit
    static constexpr std::size_t kCombos = 4 * 16;          // order x k
    static constexpr std::size_t kSegmentFrames = 3u << 18; // frames analysed at once

    // Cost prefix sums of frames [start, start + length) by unit.
    void analyse(std::span<const std::int16_t> frames, std::size_t start, std::size_t length);
    // The cheapest coding of units [ua, ub) of the analysed segment, and its bytes.
    BlockCoding cheapest(std::size_t ua, std::size_t ub, std::size_t& bytes) const noexcept;

    std::vector<std::uint32_t> costPrefix_;    // (units + 1) x kCombos bits
    std::vector<std::uint32_t> nonZeroPrefix_; // (units + 1) x 4 non-zero residuals
};

} // namespace korvelt
