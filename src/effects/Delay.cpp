#include "effects/Delay.h"

#include <algorithm>

#include "effects/ModulatedLine.h"

namespace korvelt {

using namespace modulation;

namespace {

int boundedInt(int v, int lo, int hi) noexcept {
    return std::clamp(v, lo, hi);
}

// NaN counts as the lower bound.
float boundedFloat(float v, float lo, float hi) noexcept {
    if (!(v >= lo))
        return lo;
    return v > hi ? hi : v;
}

} // namespace

Delay::Delay() : left_(new float[kLength]()), right_(new float[kLength]()) {}

void Delay::setParameters(int timeMs, int modulationMs, float feedback, float amount,
                          int spreadMs) noexcept {
    baseMs_ = boundedInt(timeMs, 0, 1000);
    depthMs_ = boundedInt(modulationMs, 0, 1000);
    spreadMs_ = boundedInt(spreadMs, 0, 1000);
    feedback_ = boundedFloat(feedback, -0.99f, 0.99f);
    amount_ = boundedFloat(amount, 0.0f, 1.0f);
}

void Delay::clear() noexcept {
    std::fill(left_.get(), left_.get() + kLength, 0.0f);
    std::fill(right_.get(), right_.get() + kLength, 0.0f);
}

double Delay::boundedDelay(double depthMs, double baseMs, int phase) noexcept {
    return std::clamp(delayFrames(depthMs, baseMs, phase), kMinDelayFrames, kMaxDelayFrames);
}

void Delay::process(float& L, float& R) noexcept {
    const double dL = boundedDelay(depthMs_, baseMs_, phase_);
    const float vL = readInterpolated(left_.get(), kLength, write_, dL);
    left_[write_] = L + feedback_ * vL;
    L = (1.0f - amount_) * L + amount_ * vL;
    const double dR = boundedDelay(depthMs_, baseMs_ + spreadMs_, rightPhase(phase_));
    const float vR = readInterpolated(right_.get(), kLength, write_, dR);
    right_[write_] = R + feedback_ * vR;
    R = (1.0f - amount_) * R + amount_ * vR;
    write_ = write_ + 1 == kLength ? 0 : write_ + 1;
    phase_ = nextPhase(phase_);
}

namespace {

// One channel of the delay over n frames, in order (the line may be read one frame after
// it was written, so the frames cannot be reordered).
void delayChannel(float* line, int write, int phase, bool right, double depthMs, double baseMs,
                  float feedback, float amount, float* x, int n) noexcept {
    const float dry = 1.0f - amount;
    for (int k = 0; k < n; ++k) {
        const int p = right ? rightPhase(phase) : phase;
        const double d = Delay::boundedDelay(depthMs, baseMs, p);
        const float v = readInterpolated(line, Delay::kLength, write, d);
        const float in = x[k];
        line[write] = in + feedback * v;
        x[k] = dry * in + amount * v;
        write = write + 1 == Delay::kLength ? 0 : write + 1;
        phase = nextPhase(phase);
    }
}

} // namespace

void Delay::processRun(float* L, float* R, int n) noexcept {
    if (n <= 0)
        return;
    delayChannel(left_.get(), write_, phase_, false, depthMs_, baseMs_, feedback_, amount_, L, n);
    delayChannel(right_.get(), write_, phase_, true, depthMs_, baseMs_ + spreadMs_, feedback_,
                 amount_, R, n);
    write_ = (write_ + n) % kLength;
    phase_ = (phase_ + n) % kPeriod;
}

} // namespace korvelt
