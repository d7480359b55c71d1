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

// One channel of the delay over n frames. The frames go in pieces no longer than the
// shortest delay within them, so every frame a piece reads was written before the piece
// began: the delays of the piece are computed first, then all its reads, then all its
// writes and the mix. (A one-frame delay gives pieces of one frame.)
template <bool Right>
void delayChannel(float* line, int write, int phase, double depthMs, double baseMs, float feedback,
                  float amount, float* x, int n) noexcept {
    constexpr int kPiece = 256;
    constexpr int N = Delay::kLength;
    const float dry = 1.0f - amount;
    int whole[kPiece];
    double fraction[kPiece];
    float echo[kPiece];
    for (int done = 0; done < n;) {
        int m = std::min(kPiece, n - done);
        int shortest = N;
        for (int k = 0; k < m; ++k) {
            int p = phase + k;
            p = p >= kPeriod ? p - kPeriod : p;
            const double d = Delay::boundedDelay(depthMs, baseMs, Right ? rightPhase(p) : p);
            const int w = static_cast<int>(d);
            whole[k] = w;
            fraction[k] = d - w;
            shortest = std::min(shortest, w);
        }
        m = std::min(m, shortest);
        for (int k = 0; k < m; ++k) {
            int r = write + k - whole[k];
            r = r < 0 ? r + N : r;
            r = r >= N ? r - N : r;
            const double a = line[r];
            const double b = line[r == 0 ? N - 1 : r - 1];
            echo[k] = static_cast<float>(a + fraction[k] * (b - a));
        }
        for (int k = 0; k < m; ++k) {
            int w = write + k;
            w = w >= N ? w - N : w;
            const float in = x[done + k];
            line[w] = in + feedback * echo[k];
            x[done + k] = dry * in + amount * echo[k];
        }
        write = (write + m) % N;
        phase = (phase + m) % kPeriod;
        done += m;
    }
}

} // namespace

void Delay::processRun(float* L, float* R, int n) noexcept {
    if (n <= 0)
        return;
    delayChannel<false>(left_.get(), write_, phase_, depthMs_, baseMs_, feedback_, amount_, L, n);
    delayChannel<true>(right_.get(), write_, phase_, depthMs_, baseMs_ + spreadMs_, feedback_,
                       amount_, R, n);
    write_ = (write_ + n) % kLength;
    phase_ = (phase_ + n) % kPeriod;
}

} // namespace korvelt
