#pragma once

#include "engine/RenderConstants.h"

#include <array>
#include <cstdint>
#include <limits>

namespace korvelt::voice {

// Output rate of every voice, in frames per second.
inline constexpr double kOutputRate = double(kSampleRate);
// Control ticks per second: one tick after every block of 20 frames.
inline constexpr double kTicksPerSecond = 2205.0;
// Frames rendered between two control ticks.
inline constexpr int kControlFrames = 20;

// Converts toward zero like a plain cast, but saturates values outside the 32-bit range
// and turns NaN into 0, so that extreme generator amounts never convert undefinedly.
inline std::int32_t truncateToInt32(double x) noexcept {
    if (!(x == x))
        return 0;
    if (x >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (x <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

inline std::int32_t clampToInt32(std::int64_t x) noexcept {
    if (x > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (x < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

// A time in timecents as whole control ticks: 2^(t/1200) x 2205, truncated.
std::int32_t timecentsToTicks(std::int32_t timecents) noexcept;

// Hold and decay ticks of an envelope for key k: the time's ticks, stretched below key 60
// and shortened above it by `scaling` timecents per key.
std::int32_t keyScaledTicks(std::int32_t timecents, std::int32_t scaling, int key) noexcept;

// The per-tick change that covers `distance` in `ticks` ticks; a change of zero ticks is
// infinite, so the phase reaches its end value on its first tick.
inline float stepPerTick(float distance, std::int32_t ticks) noexcept {
    return ticks > 0 ? distance / static_cast<float>(ticks)
                     : std::numeric_limits<float>::infinity();
}

// Equal-tempered key frequencies in Hz, 440 x 2^((k - 69)/12) to the nearest 0.001 Hz.
const std::array<double, 128>& keyFrequencies() noexcept;

} // namespace korvelt::voice
