#pragma once

#include <memory>

namespace korvelt {

// Adds a slowly swept copy of the chorus send pair to the mix: per channel one 2048-frame
// line read 25 ... 28 ms (left) and 33 ... 36 ms (right) back, at unity gain, without
// feedback.
class Chorus {
public:
    static constexpr int kLength = 2048;
    static constexpr double kDepthMs = 3.0;
    static constexpr double kBaseLeftMs = 25.0;
    static constexpr double kBaseRightMs = 33.0;

    Chorus();
    Chorus(const Chorus&) = delete;
    Chorus& operator=(const Chorus&) = delete;

    // Zeroes both lines; the write index and the oscillator phase run on.
    void clear() noexcept;
    // Adds one frame of chorus for the sends to L and R.
    void process(float sendL, float sendR, float& L, float& R) noexcept;
    // process() for n consecutive frames, with exactly the same result.
    void processRun(const float* sendL, const float* sendR, float* L, float* R, int n) noexcept;

    int writeIndex() const noexcept { return write_; }
    int phase() const noexcept { return phase_; }

private:
    int write_ = 0;
    int phase_ = 0;
    std::unique_ptr<float[]> left_;
    std::unique_ptr<float[]> right_;
};

} // namespace korvelt
