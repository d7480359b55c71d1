#pragma once

#include <bit>
#include <cstdint>

namespace korvelt {

// True when a single-precision value is zero or denormal (its exponent bits are all 0).
inline bool isZeroOrDenormal(float v) noexcept {
    return (std::bit_cast<std::uint32_t>(v) & 0x7f800000u) == 0;
}

// The value, or +0 when it is zero or denormal: decaying feedback loops never fall into
// slow denormal arithmetic. Written as a mask so that loops over many values vectorise.
inline float flushDenormal(float v) noexcept {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(v);
    const std::uint32_t keep = (bits & 0x7f800000u) != 0 ? 0xffffffffu : 0u;
    return std::bit_cast<float>(bits & keep);
}

} // namespace korvelt
