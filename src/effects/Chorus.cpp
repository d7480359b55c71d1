#include "effects/Chorus.h"

#include <algorithm>

#include "effects/ModulatedLine.h"

namespace korvelt {

using namespace modulation;

Chorus::Chorus() : left_(new float[kLength]()), right_(new float[kLength]()) {}

void Chorus::clear() noexcept {
    std::fill(left_.get(), left_.get() + kLength, 0.0f);
    std::fill(right_.get(), right_.get() + kLength, 0.0f);
}

void Chorus::process(float sendL, float sendR, float& L, float& R) noexcept {
    const double dL = delayFrames(kDepthMs, kBaseLeftMs, phase_);
    const float vL = readInterpolated(left_.get(), kLength, write_, dL);
    left_[write_] = sendL;
    L += vL;
    const double dR = delayFrames(kDepthMs, kBaseRightMs, rightPhase(phase_));
    const float vR = readInterpolated(right_.get(), kLength, write_, dR);
    right_[write_] = sendR;
    R += vR;
    write_ = (write_ + 1) & (kLength - 1);
    phase_ = nextPhase(phase_);
}

namespace {

// One channel of the chorus over n frames. The two channels touch separate lines, so each
// runs on its own; within a channel the frames go in order.
void chorusChannel(float* line, int write, int phase, bool right, double baseMs, const float* send,
                   float* out, int n) noexcept {
    for (int k = 0; k < n; ++k) {
        const int p = right ? rightPhase(phase) : phase;
        const double d = delayFrames(Chorus::kDepthMs, baseMs, p);
        const float v = readInterpolated(line, Chorus::kLength, write, d);
        line[write] = send[k];
        out[k] += v;
        write = (write + 1) & (Chorus::kLength - 1);
        phase = nextPhase(phase);
    }
}

} // namespace

void Chorus::processRun(const float* sendL, const float* sendR, float* L, float* R,
                        int n) noexcept {
    if (n <= 0)
        return;
    chorusChannel(left_.get(), write_, phase_, false, kBaseLeftMs, sendL, L, n);
    chorusChannel(right_.get(), write_, phase_, true, kBaseRightMs, sendR, R, n);
    write_ = (write_ + n) & (kLength - 1);
    phase_ = (phase_ + n) % kPeriod;
}

} // namespace korvelt
