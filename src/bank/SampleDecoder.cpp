#include "bank/SampleDecoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace korvelt {

namespace {

using namespace blockformat;

template <int Order>
inline std::int32_t predict(std::int32_t x1, std::int32_t x2, std::int32_t x3) noexcept {
    if constexpr (Order == 0)
        return 0;
    else if constexpr (Order == 1)
        return x1;
    else if constexpr (Order == 2)
        return 2 * x1 - x2;
    else
        return 3 * (x1 - x2) + x3;
}

inline std::int16_t wrap16(std::uint32_t value) noexcept {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
}

inline std::uint64_t loadBigEndian64(const std::uint8_t* p) noexcept {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native == std::endian::little)
        w = __builtin_bswap64(w);
    return w;
}

// Bits of the block's stream, most significant first, kept left-aligned in `buf`.
// `cnt` bits of `buf` are valid; `loaded` counts the bytes taken into it (bytes past the
// end of the stream count too: they read as zeros).
struct BitReader {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::uint64_t buf = 0;
    unsigned cnt = 0;
    std::uint64_t virtualBytes = 0;

    // Tops up to at least 56 bits, 8 bytes at a time. Needs 8 readable bytes at p.
    void refillFast() noexcept {
        buf |= loadBigEndian64(p) >> cnt;
        const unsigned bytes = (63 - cnt) >> 3;
        p += bytes;
        cnt += bytes * 8;
    }
    // Tops up byte by byte; past the end of the stream it feeds zeros.
    void refillSafe() noexcept {
        while (cnt <= 56) {
            std::uint64_t b = 0;
            if (p < end)
                b = *p++;
            else
                ++virtualBytes;
            buf |= b << (56 - cnt);
            cnt += 8;
        }
    }
};

// Decodes residual-coded frames [from, n). Returns the index of the first frame it could
// not decode (n when all were decoded). The fast variant must only run while at least 16
// bytes remain beyond 7 bytes per frame still to decode (a code is at most 56 bits).
template <int Order, bool Safe>
std::int32_t decodeResiduals(BitReader& r, const std::uint8_t* input, std::uint64_t availBits,
                             unsigned k, std::int16_t* out, std::int32_t from, std::int32_t n,
                             std::int32_t& x1, std::int32_t& x2, std::int32_t& x3) noexcept {
    std::int32_t a = x1, b = x2, c = x3;
    std::int32_t t = from;
    for (; t < n; ++t) {
        if constexpr (Safe)
            r.refillSafe();
        else
            r.refillFast();
        // At least 56 valid bits: a code of at most kMaxZeroRun zeros fits whole.
        if (r.buf < (std::uint64_t(1) << (63 - kMaxZeroRun)))
            break; // impossible code (or zeros past the end): the stream is damaged here
        const unsigned zeros = static_cast<unsigned>(std::countl_zero(r.buf));
        const unsigned len = 2 * zeros + 1;
        std::uint64_t v = (r.buf >> (64 - len)) - 1;
        r.buf <<= len;
        const std::uint64_t low = (r.buf >> 1) >> (63 - k); // 0 when k = 0
        r.buf <<= k;
        r.cnt -= len + k;
        v = (v << k) | low;
        if constexpr (Safe) {
            const std::uint64_t used = (std::uint64_t(r.p - input) + r.virtualBytes) * 8 - r.cnt;
            if (used > availBits)
                break; // the code runs past the end of the stream
        }
        const auto half = static_cast<std::uint32_t>(v >> 1);
        const auto odd = static_cast<std::uint32_t>(v) & 1u;
        const std::uint32_t residual = (half ^ (0u - odd)) + odd; // odd: -(v / 2)
        const std::int16_t s =
            wrap16(residual + static_cast<std::uint32_t>(predict<Order>(a, b, c)));
        out[t] = s;
        c = b;
        b = a;
        a = s;
    }
    x1 = a;
    x2 = b;
    x3 = c;
    return t;
}

template <int Order>
std::int32_t decodeResidualBlock(BitReader& r, const std::uint8_t* input, std::size_t avail,
                                 unsigned k, std::int16_t* out, std::int32_t n, std::int32_t& x1,
                                 std::int32_t& x2, std::int32_t& x3) noexcept {
    const std::uint64_t availBits = std::uint64_t(avail) * 8;
    std::int32_t fast = 0;
    if (avail >= 16)
        fast = static_cast<std::int32_t>(std::min<std::uint64_t>(n, (avail - 16) / 7));
    std::int32_t t =
        decodeResiduals<Order, false>(r, input, availBits, k, out, 0, fast, x1, x2, x3);
    if (t < fast)
        return t;
    return decodeResiduals<Order, true>(r, input, availBits, k, out, t, n, x1, x2, x3);
}

} // namespace

bool SampleDecoder::decodeBlock(BlockDescriptor& block) noexcept {
    const std::int32_t n = std::max<std::int32_t>(block.sampleCount, 0);
    const int order = (block.header & kOrderMask) >> kOrderShift;
    std::int16_t* out = block.output;
    block.consumedBytes = 0;
    block.decodedCount = 0;

    if (block.header & kNoResidual) {
        switch (order) {
        case 0:
            std::fill(out, out + n, std::int16_t(0));
            x1_ = x2_ = x3_ = 0;
            break;
        case 1:
            std::fill(out, out + n, static_cast<std::int16_t>(x1_));
            x2_ = x3_ = x1_;
            break;
        case 2:
            for (std::int32_t t = 0; t < n; ++t) {
                const std::int16_t s =
                    wrap16(static_cast<std::uint32_t>(predict<2>(x1_, x2_, x3_)));
                out[t] = s;
                x3_ = x2_;
                x2_ = x1_;
                x1_ = s;
            }
            break;
        default:
            for (std::int32_t t = 0; t < n; ++t) {
                const std::int16_t s =
                    wrap16(static_cast<std::uint32_t>(predict<3>(x1_, x2_, x3_)));
                out[t] = s;
                x3_ = x2_;
                x2_ = x1_;
                x1_ = s;
            }
            break;
        }
        block.decodedCount = n;
        return true;
    }

    const unsigned k = block.header & kKMask;
    BitReader r{block.input, block.input + block.available};
    std::int32_t done = 0;
    switch (order) {
    case 0:
        done = decodeResidualBlock<0>(r, block.input, block.available, k, out, n, x1_, x2_, x3_);
        break;
    case 1:
        done = decodeResidualBlock<1>(r, block.input, block.available, k, out, n, x1_, x2_, x3_);
        break;
    case 2:
        done = decodeResidualBlock<2>(r, block.input, block.available, k, out, n, x1_, x2_, x3_);
        break;
    default:
        done = decodeResidualBlock<3>(r, block.input, block.available, k, out, n, x1_, x2_, x3_);
        break;
    }
    block.decodedCount = done;
    const std::uint64_t bits = (std::uint64_t(r.p - block.input) + r.virtualBytes) * 8 - r.cnt;
    block.consumedBytes = static_cast<std::int32_t>(std::max<std::uint64_t>(1, (bits + 7) / 8));
    return done == n;
}

std::size_t SampleDecoder::decodeStream(const std::uint8_t* stream, std::size_t size,
                                        std::int32_t blockSamples, std::int16_t* out,
                                        std::size_t frames) noexcept {
    if (blockSamples <= 0)
        return 0;
    SampleDecoder decoder;
    std::size_t pos = 0;
    std::size_t done = 0;
    while (done < frames && pos < size) {
        BlockDescriptor block;
        block.header = stream[pos];
        block.sampleCount = static_cast<std::int32_t>(
            std::min<std::size_t>(std::size_t(blockSamples), frames - done));
        block.output = out + done;
        block.input = stream + pos + 1;
        block.available = size - pos - 1;
        const bool complete = decoder.decodeBlock(block);
        done += static_cast<std::size_t>(block.decodedCount);
        if (!complete)
            break;
        pos += std::size_t(block.consumedBytes) + 1;
    }
    return done;
}

} // namespace korvelt
