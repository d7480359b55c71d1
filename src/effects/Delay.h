#pragma once

#include <memory>

namespace korvelt {

// The echo on the dry pair: per channel a one-second line with feedback, read at the delay
// time (plus the stereo spread on the right) swept by the modulation depth, and mixed with
// the dry signal by the amount.
//
// The line holds 44100 frames, so the delay is held within 1 ... 44099 frames (a little
// under one second): longer settings (delay time + modulation + spread above 999 ms) are
// cut to the longest echo the line can give, and a delay under one frame (0 ms) gives a
// one-frame echo.
class Delay {
public:
    static constexpr int kLength = 44100;
    static constexpr double kMinDelayFrames = 1.0;
    static constexpr double kMaxDelayFrames = kLength - 1;

    Delay();
    Delay(const Delay&) = delete;
    Delay& operator=(const Delay&) = delete;

    // Takes the settings, each held within a sound range first: delay time, modulation
    // depth and stereo spread 0 ... 1000 ms, feedback -0.99 ... 0.99 (a loop gain of 1 or
    // more would grow without end), amount 0 ... 1.
    void setParameters(int timeMs, int modulationMs, float feedback, float amount,
                       int spreadMs) noexcept;
    // Zeroes both lines; the write index and the oscillator phase run on.
    void clear() noexcept;
    // Replaces one frame by the echoed frame.
    void process(float& L, float& R) noexcept;
    // process() for n consecutive frames, with exactly the same result.
    void processRun(float* L, float* R, int n) noexcept;

    int writeIndex() const noexcept { return write_; }
    int phase() const noexcept { return phase_; }
    float feedback() const noexcept { return feedback_; }
    float amount() const noexcept { return amount_; }

    // The delay in frames for a sweep depth, a base and an oscillator phase, held within
    // the line.
    static double boundedDelay(double depthMs, double baseMs, int phase) noexcept;

private:
    int write_ = 0;
    int phase_ = 0;
    double baseMs_ = 0.0;
    double spreadMs_ = 0.0;
    double depthMs_ = 0.0;
    float feedback_ = 0.0f;
    float amount_ = 0.0f;
    std::unique_ptr<float[]> left_;
    std::unique_ptr<float[]> right_;
};

} // namespace korvelt
