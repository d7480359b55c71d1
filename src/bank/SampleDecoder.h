#pragma once

#include <cstddef>
#include <cstdint>

namespace korvelt {

// The compressed sample format. A stream is a run of blocks; each block is one header byte
// followed by its bit stream, which starts on a byte boundary:
//   bit 7      ignored
//   bit 6      no-residual flag: the block is the predictor's output alone, no bit stream
//   bits 5-4   predictor order 0 ... 3
//   bits 3-0   k, the number of low bits of each residual sent raw
// Predictions from the last three output samples x1, x2, x3 (0 before the first frame):
//   order 0: 0   order 1: x1   order 2: 2*x1 - x2   order 3: 3*(x1 - x2) + x3
// Each residual is an order-k exponential-Golomb code of a sign-folded value (r >= 0 as
// 2r, r < 0 as -2r + 1), most significant bit first. Sample arithmetic is modulo 2^16.
namespace blockformat {
inline constexpr std::uint8_t kNoResidual = 0x40;
inline constexpr int kOrderShift = 4;
inline constexpr std::uint8_t kOrderMask = 0x30;
inline constexpr std::uint8_t kKMask = 0x0F;
inline constexpr int kMaxOrder = 3;
inline constexpr int kMaxK = 15;
// The longest run of leading zeros of a residual code the decoder accepts. 16-bit audio
// never needs more than 16; a longer run can only come from a damaged stream.
inline constexpr unsigned kMaxZeroRun = 20;

constexpr std::uint8_t header(int order, int k, bool noResidual) noexcept {
    return static_cast<std::uint8_t>((noResidual ? kNoResidual : 0) | (order << kOrderShift) |
                                     (k & kKMask));
}
} // namespace blockformat

// One block to decode, filled by the caller.
struct BlockDescriptor {
    std::uint8_t header = 0;
    std::int32_t sampleCount = 0;        // frames to decode
    std::int16_t* output = nullptr;      // where the first frame goes
    const std::uint8_t* input = nullptr; // the bit stream (the byte after the header byte)
    std::size_t available = 0;           // bytes from input to the end of the stream
    // Set by the decoder:
    std::int32_t consumedBytes = 0; // bytes of bit stream the block used
    std::int32_t decodedCount = 0;  // frames written; fewer than sampleCount when the
                                    // stream ended or was damaged inside the block
};

// Decodes the blocks of one sample in order, keeping the prediction history across
// blocks. Never reads outside [input, input + available).
class SampleDecoder {
public:
    // Decodes one block. True when all sampleCount frames were decoded; false when the
    // stream ended (or held an impossible code) first: decodedCount frames were written
    // and nothing more can be decoded from this stream.
    bool decodeBlock(BlockDescriptor& block) noexcept;

    // Decodes up to `frames` frames of a whole stream of `size` bytes with `blockSamples`
    // frames per block (the last block may be shorter). Returns the number of frames
    // decoded; the frames after them are left untouched for the caller to silence.
    static std::size_t decodeStream(const std::uint8_t* stream, std::size_t size,
                                    std::int32_t blockSamples, std::int16_t* out,
                                    std::size_t frames) noexcept;

    std::int32_t x1() const noexcept { return x1_; }
    std::int32_t x2() const noexcept { return x2_; }
    std::int32_t x3() const noexcept { return x3_; }

private:
    std::int32_t x1_ = 0; // last output sample
    std::int32_t x2_ = 0; // second-last
    std::int32_t x3_ = 0; // third-last
};

} // namespace korvelt
