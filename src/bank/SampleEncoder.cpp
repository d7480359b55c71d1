#include "bank/SampleEncoder.h"

#include "bank/SampleDecoder.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace korvelt {

namespace {

inline std::int16_t wrap16(std::int32_t value) noexcept {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(value)));
}

// The sign-folded value the residual travels as.
inline std::uint32_t fold(std::int32_t r) noexcept {
    return r >= 0 ? 2u * static_cast<std::uint32_t>(r) : 2u * static_cast<std::uint32_t>(-r) + 1u;
}

inline unsigned foldedBits(std::uint32_t v, unsigned k) noexcept {
    const std::uint32_t q = (v >> k) + 1;
    return 2 * (static_cast<unsigned>(std::bit_width(q)) - 1) + 1 + k;
}

inline std::int32_t predict(int order, std::int32_t x1, std::int32_t x2, std::int32_t x3) noexcept {
    switch (order) {
    case 0:
        return 0;
    case 1:
        return x1;
    case 2:
        return 2 * x1 - x2;
    default:
        return 3 * (x1 - x2) + x3;
    }
}

// Most significant bit first, as the decoder reads.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    // Appends the low `bits` bits of value (bits <= 32).
    void put(std::uint64_t value, unsigned bits) {
        acc_ = (acc_ << bits) | (value & ((std::uint64_t(1) << bits) - 1));
        count_ += bits;
        while (count_ >= 8) {
            count_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> count_));
        }
    }
    // Pads the last byte with zeros.
    void flush() {
        if (count_ > 0)
            out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - count_)));
        acc_ = 0;
        count_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    unsigned count_ = 0;
};

void putResidual(BitWriter& w, std::int32_t residual, unsigned k) {
    const std::uint32_t v = fold(residual);
    const std::uint32_t q = (v >> k) + 1;
    const unsigned zeros = static_cast<unsigned>(std::bit_width(q)) - 1;
    w.put(0, zeros);
    w.put(q, zeros + 1);
    if (k > 0)
        w.put(v, k);
}

} // namespace

unsigned SampleEncoder::residualBits(std::int32_t residual, unsigned k) noexcept {
    return foldedBits(fold(residual), k);
}

void SampleEncoder::analyse(std::span<const std::int16_t> frames, std::size_t start,
                            std::size_t length) {
    const std::size_t units = (length + kUnit - 1) / kUnit;
    costPrefix_.assign((units + 1) * kCombos, 0);
    nonZeroPrefix_.assign((units + 1) * 4, 0);
    std::int32_t x1 = start >= 1 ? frames[start - 1] : 0;
    std::int32_t x2 = start >= 2 ? frames[start - 2] : 0;
    std::int32_t x3 = start >= 3 ? frames[start - 3] : 0;
    for (std::size_t u = 0; u < units; ++u) {
        std::uint32_t bits[kCombos];
        std::uint32_t nonZero[4];
        std::copy_n(&costPrefix_[u * kCombos], kCombos, bits);
        std::copy_n(&nonZeroPrefix_[u * 4], 4, nonZero);
        const std::size_t end = std::min(length, (u + 1) * kUnit);
        for (std::size_t t = u * kUnit; t < end; ++t) {
            const std::int32_t x = frames[start + t];
            std::uint32_t v[4];
            for (int o = 0; o < 4; ++o) {
                const std::int32_t r = wrap16(x - predict(o, x1, x2, x3));
                v[o] = fold(r);
                nonZero[o] += r != 0;
            }
            for (int o = 0; o < 4; ++o)
                for (unsigned k = 0; k < 16; ++k)
                    bits[o * 16 + k] += foldedBits(v[o], k);
            x3 = x2;
            x2 = x1;
            x1 = x;
        }
        std::copy_n(bits, kCombos, &costPrefix_[(u + 1) * kCombos]);
        std::copy_n(nonZero, 4, &nonZeroPrefix_[(u + 1) * 4]);
    }
}

BlockCoding SampleEncoder::cheapest(std::size_t ua, std::size_t ub,
                                    std::size_t& bytes) const noexcept {
    for (int o = 0; o < 4; ++o)
        if (nonZeroPrefix_[ub * 4 + o] == nonZeroPrefix_[ua * 4 + o]) {
            bytes = 1;
            return BlockCoding{o, 0, true};
        }
    const std::uint32_t* hi = &costPrefix_[ub * kCombos];
    const std::uint32_t* lo = &costPrefix_[ua * kCombos];
    std::uint32_t best = std::numeric_limits<std::uint32_t>::max();
    std::size_t bestCombo = 0;
    for (std::size_t c = 0; c < kCombos; ++c) {
        const std::uint32_t b = hi[c] - lo[c];
        if (b < best) {
            best = b;
            bestCombo = c;
        }
    }
    bytes = 1 + (std::size_t(best) + 7) / 8;
    return BlockCoding{static_cast<int>(bestCombo / 16), static_cast<int>(bestCombo % 16), false};
}

std::vector<BlockCoding> SampleEncoder::chooseCodings(std::span<const std::int16_t> frames,
                                                      std::int32_t blockSamples) {
    std::vector<BlockCoding> codings;
    const auto block = static_cast<std::size_t>(blockSamples);
    if (blockSamples <= 0 || block % kUnit != 0)
        return codings;
    const std::size_t segment = kSegmentFrames - kSegmentFrames % block;
    codings.reserve((frames.size() + block - 1) / block);
    for (std::size_t start = 0; start < frames.size(); start += segment) {
        const std::size_t length = std::min(segment, frames.size() - start);
        analyse(frames, start, length);
        const std::size_t units = (length + kUnit - 1) / kUnit;
        for (std::size_t f = 0; f < length; f += block) {
            const std::size_t ua = f / kUnit;
            const std::size_t ub = std::min(units, (f + block) / kUnit);
            std::size_t bytes = 0;
            codings.push_back(cheapest(ua, ub, bytes));
        }
    }
    return codings;
}

std::vector<std::uint8_t> SampleEncoder::encode(std::span<const std::int16_t> frames,
                                                std::int32_t blockSamples) {
    const std::vector<BlockCoding> codings = chooseCodings(frames, blockSamples);
    return encodeWith(frames, blockSamples, codings);
}

SampleEncoder::Result SampleEncoder::encode(std::span<const std::int16_t> frames) {
    constexpr std::size_t kSizes = std::size(kBlockSizes);
    std::size_t total[kSizes] = {};
    for (std::size_t start = 0; start < frames.size(); start += kSegmentFrames) {
        const std::size_t length = std::min(kSegmentFrames, frames.size() - start);
        analyse(frames, start, length);
        const std::size_t units = (length + kUnit - 1) / kUnit;
        for (std::size_t s = 0; s < kSizes; ++s) {
            const auto block = static_cast<std::size_t>(kBlockSizes[s]);
            for (std::size_t f = 0; f < length; f += block) {
                std::size_t bytes = 0;
                cheapest(f / kUnit, std::min(units, (f + block) / kUnit), bytes);
                total[s] += bytes;
            }
        }
    }
    const std::size_t best =
        static_cast<std::size_t>(std::min_element(total, total + kSizes) - total);
    Result result;
    result.blockSamples = kBlockSizes[best];
    result.stream = encode(frames, result.blockSamples);
    return result;
}

std::vector<std::uint8_t> SampleEncoder::encodeWith(std::span<const std::int16_t> frames,
                                                    std::int32_t blockSamples,
                                                    std::span<const BlockCoding> codings) {
    std::vector<std::uint8_t> out;
    if (blockSamples <= 0)
        return out;
    const auto block = static_cast<std::size_t>(blockSamples);
    BitWriter writer(out);
    // The history as the decoder keeps it: its own output, which equals the frames, except
    // after a short no-residual block of order 0 or 1, which sets all three registers.
    std::int32_t x1 = 0, x2 = 0, x3 = 0;
    std::size_t b = 0;
    for (std::size_t f = 0; f < frames.size(); f += block, ++b) {
        const BlockCoding c = b < codings.size() ? codings[b] : BlockCoding{};
        const std::size_t n = std::min(block, frames.size() - f);
        out.push_back(blockformat::header(c.order, c.k, c.noResidual));
        if (c.noResidual) {
            if (c.order == 0) {
                x1 = x2 = x3 = 0;
            } else if (c.order == 1) {
                x2 = x3 = x1;
            } else {
                for (std::size_t t = 0; t < n; ++t) {
                    const std::int32_t s = wrap16(predict(c.order, x1, x2, x3));
                    x3 = x2;
                    x2 = x1;
                    x1 = s;
                }
            }
            continue;
        }
        for (std::size_t t = 0; t < n; ++t) {
            const std::int32_t x = frames[f + t];
            putResidual(writer, wrap16(x - predict(c.order, x1, x2, x3)),
                        static_cast<unsigned>(c.k));
            x3 = x2;
            x2 = x1;
            x1 = x;
        }
        writer.flush();
    }
    return out;
}

} // namespace korvelt
