#pragma once

#include "engine/FrameSink.h"

#include <cstdint>
#include <memory>

namespace korvelt {

// The end of the chain: master volume, a look-ahead peak limiter, optional make-up gain
// with a soft clipper, and 16-bit samples for the frame sink (a WAVE file, memory, ...).
//
// Every frame enters a 131072-frame look-ahead line and leaves it 131072 frames later; the
// first 131072 frames of a conversion (the line's initial silence) are swallowed. A frame
// louder than full scale plans a linear fall of the limiter gain that is complete exactly
// when that frame leaves the line, followed by a linear rise back to 1 over as many frames.
class OutputStage {
public:
    static constexpr int kLookAhead = 131072;               // 2^17
    static constexpr double kInvLookAhead = 1.0 / 131072.0; // 2^-17, exact
    // The frames handed to the sink at once, at most.
    static constexpr int kMaxRun = FrameSink::kMaxRunFrames;
    static constexpr float kKneeStart = 24575.0f;
    static constexpr float kClipLimit = 32767.0f;
    static constexpr float kClipLevel = 28671.0f;

    // The limiter: a gain with a linear ramp towards a target, and the slope of the
    // release that follows.
    struct Limiter {
        double gain = 1.0;
        double slope = 0.0;
        double target = 1.0;
        double releaseSlope = 0.0;
        std::int64_t framesSinceTarget = 0;

        // One frame whose larger side has the magnitude `peak` (after master volume).
        void update(double peak) noexcept;
    };

    OutputStage();
    OutputStage(const OutputStage&) = delete;
    OutputStage& operator=(const OutputStage&) = delete;

    // Empties the line, resets the limiter and sets the gains for a new conversion.
    // compressorOn selects the make-up gain with the soft clipper.
    void reset(float masterGain, float makeupGain, bool compressorOn) noexcept;

    // One frame, straight from the description above (a sink call per frame: for checks of
    // processRun, not for renders).
    void processFrame(float L, float R, FrameSink& out) noexcept;
    // processFrame() for n consecutive frames, with exactly the same result: the master
    // volume, the line and the conversion run over whole runs, the limiter frame by frame.
    // The sink gets one call per run of at most kMaxRun frames.
    void processRun(const float* L, const float* R, int n, FrameSink& out) noexcept;

    // The soft clipper, for a value in 16-bit units, truncated toward zero:
    //   |x| <= 24575:          x
    //   24575 < |x| <= 32767:  24575 + y / (1 + 0.000122 y), y = |x| - 24575, at most
    //                          28671, with the sign of x
    //   |x| > 32767:           28671 with the sign of x
    // The knee leaves the straight line with slope 1 (no corner at 24575), its slope falls
    // to about 1/4 at 32767, and the curve reaches 28671 near |x| = 32762, so it is
    // continuous and never decreasing. NaN gives 0.
    static int softClip(float x) noexcept;
    // A value in 16-bit units truncated toward zero, held within -32768 ... 32767 (NaN
    // gives 0). Within the limiter's range no value needs holding.
    static int toSample(double x) noexcept;

    const Limiter& limiter() const noexcept { return limiter_; }
    int position() const noexcept { return position_; }
    int primeCount() const noexcept { return primeCount_; }
    float masterGain() const noexcept { return masterGain_; }
    float makeupGain() const noexcept { return makeupGain_; }

private:
    void processPiece(const float* L, const float* R, int n, FrameSink& out) noexcept;

    std::unique_ptr<float[]> lineL_;
    std::unique_ptr<float[]> lineR_;
    int position_ = 0;
    Limiter limiter_;
    float masterGain_ = 1.0f;
    float makeupGain_ = 1.0f;
    bool compressorOn_ = false;
    int primeCount_ = kLookAhead;

    struct Scratch {
        alignas(64) float left[kMaxRun];
        alignas(64) float right[kMaxRun];
        alignas(64) float peak[kMaxRun];
        alignas(64) double gain[kMaxRun];
        alignas(64) float scaledL[kMaxRun];
        alignas(64) float scaledR[kMaxRun];
        alignas(64) int sampleL[kMaxRun];
        alignas(64) int sampleR[kMaxRun];
        alignas(64) std::int16_t pcm[2 * kMaxRun];
    };
    std::unique_ptr<Scratch> scratch_;
};

} // namespace korvelt
