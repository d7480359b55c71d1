#pragma once

#include <memory>

#include "effects/Denormal.h"

namespace korvelt {

// A feedback comb filter with a one-pole lowpass in its feedback path.
struct CombFilter {
    float feedback = 0.0f;
    float filterstore = 0.0f;
    float damp1 = 0.0f;
    float damp2 = 0.0f;
    float* line = nullptr;
    int length = 0;
    int index = 0;

    // One frame: returns the frame leaving the line, feeds x plus the damped feedback in.
    float process(float x) noexcept {
        float y = line[index];
        if (isZeroOrDenormal(y))
            y = 0.0f;
        filterstore = y * damp2 + filterstore * damp1;
        if (isZeroOrDenormal(filterstore))
            filterstore = 0.0f;
        line[index] = x + filterstore * feedback;
        if (++index >= length)
            index = 0;
        return y;
    }
};

// A Schroeder allpass filter.
struct AllpassFilter {
    float feedback = 0.0f;
    float* line = nullptr;
    int length = 0;
    int index = 0;

    float process(float x) noexcept {
        float b = line[index];
        if (isZeroOrDenormal(b))
            b = 0.0f;
        line[index] = x + b * feedback;
        if (++index >= length)
            index = 0;
        return b - x;
    }

    // process() for n frames in place. Works segment by segment up to the end of the line;
    // within a segment every frame touches its own slot, so the loop vectorises.
    void processRun(float* x, int n) noexcept;
};

// The reverberator: per channel eight parallel damped combs followed by four series
// allpasses (the Freeverb structure), fed the same mono input; the right channel's lines
// are 23 frames longer than the left's. Always fully wet in this program.
class Reverb {
public:
    static constexpr int kCombs = 8;
    static constexpr int kAllpasses = 4;
    static constexpr int kTailLength = 2794;
    static constexpr int kStereoSpread = 23;
    static constexpr int kCombLengths[kCombs] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
    static constexpr int kAllpassLengths[kAllpasses] = {556, 441, 341, 225};
    static constexpr int kLineFloats = 25450;
    // The longest run processRun handles in one piece (shorter than every comb line, so a
    // run's frames leaving a comb were all written before the run began).
    static constexpr int kMaxRun = 256;

    static constexpr float kFixedGain = 0.015f;
    static constexpr float kScaleWet = 3.0f;
    static constexpr float kScaleDry = 2.0f;
    static constexpr float kScaleDamp = 0.4f;
    static constexpr float kScaleRoom = 0.28f;
    static constexpr float kOffsetRoom = 0.7f;
    static constexpr float kFreezeMode = 0.5f;
    static constexpr float kAllpassFeedback = 0.5f;

    Reverb();
    Reverb(const Reverb&) = delete;
    Reverb& operator=(const Reverb&) = delete;

    void setRoomSize(float value) noexcept;
    void setDamp(float value) noexcept;
    void setWet(float value) noexcept;
    void setDry(float value) noexcept;
    void setWidth(float value) noexcept;
    void setMode(float value) noexcept;
    float getMode() const noexcept { return mode_ >= kFreezeMode ? 1.0f : 0.0f; }
    // Zeroes every line unless frozen (indices and lowpass states keep their values).
    void mute() noexcept;
    static constexpr int tailLength() noexcept { return kTailLength; }

    // Adds one frame of reverberation for the send inputs to L and R.
    void process(float inL, float inR, float& L, float& R) noexcept;
    // process() for n consecutive frames, with exactly the same result.
    void processRun(const float* inL, const float* inR, float* L, float* R, int n) noexcept;

    float gain() const noexcept { return gain_; }
    float wet1() const noexcept { return wet1_; }
    float wet2() const noexcept { return wet2_; }
    const CombFilter& comb(int channel, int i) const noexcept { return combs_[channel][i]; }
    const AllpassFilter& allpass(int channel, int i) const noexcept {
        return allpasses_[channel][i];
    }

private:
    void update() noexcept;
    void processPiece(const float* inL, const float* inR, float* L, float* R, int n) noexcept;
    static void combSide(CombFilter* combs, const float* input, float* out, int n) noexcept;

    float gain_ = 0.0f;
    float roomsize_ = 0.0f;
    float roomsize1_ = 0.0f;
    float damp_ = 0.0f;
    float damp1_ = 0.0f;
    float wet_ = 0.0f;
    float wet1_ = 0.0f;
    float wet2_ = 0.0f;
    float dry_ = 0.0f;
    float width_ = 0.0f;
    float mode_ = 0.0f;
    CombFilter combs_[2][kCombs];
    AllpassFilter allpasses_[2][kAllpasses];
    std::unique_ptr<float[]> lines_;

    // Working space of processRun: the mono input and the two channel sums of a run.
    struct Scratch {
        alignas(64) float input[kMaxRun];
        alignas(64) float outL[kMaxRun];
        alignas(64) float outR[kMaxRun];
    };
    std::unique_ptr<Scratch> scratch_;
};

} // namespace korvelt
