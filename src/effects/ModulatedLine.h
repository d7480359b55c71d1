#pragma once

namespace korvelt {

// What the chorus and the delay share: a triangle oscillator of 22050 frames (2 Hz), the
// right channel's a quarter period ahead, and the linearly interpolated read of a line.
namespace modulation {

inline constexpr int kPeriod = 22050;
inline constexpr int kHalfPeriod = 11025;
inline constexpr int kQuarterPeriod = 5512;
// Milliseconds of sweep per unit of depth and oscillator step: 4 / 44100, so that the top
// of the triangle (11025) gives the full depth in milliseconds.
inline constexpr double kSweepPerStep = 9.0703e-05;
inline constexpr double kFramesPerMs = 44.1;

// The triangle: 0 rising to 11025 at half the period, then falling back.
inline int triangle(int phase) noexcept {
    return phase < kHalfPeriod ? phase : kPeriod - phase;
}

// The right channel's phase.
inline int rightPhase(int phase) noexcept {
    const int p = phase + kQuarterPeriod;
    return p >= kPeriod ? p - kPeriod : p;
}

inline int nextPhase(int phase) noexcept {
    return phase + 1 == kPeriod ? 0 : phase + 1;
}

// The delay in frames for a sweep depth and a base, both in milliseconds.
inline double delayFrames(double depthMs, double baseMs, int phase) noexcept {
    return (depthMs * triangle(phase) * kSweepPerStep + baseMs) * kFramesPerMs;
}

// The value written `delay` frames ago (1 <= delay <= length - 1) into a line of `length`
// frames whose next write goes to `write`: the frames written i and i + 1 frames ago
// (i = the delay's whole part), weighted by its fraction. Between i and i + 1 the read
// position moves continuously, so a swept delay never jumps.
inline float readInterpolated(const float* line, int length, int write, double delay) noexcept {
    const int whole = static_cast<int>(delay);
    const double fraction = delay - whole;
    int r = write - whole;
    if (r < 0)
        r += length;
    const double a = line[r];
    const double b = line[r == 0 ? length - 1 : r - 1];
    return static_cast<float>(a + fraction * (b - a));
}

} // namespace modulation
} // namespace korvelt
