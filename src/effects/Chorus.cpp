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

// One channel of the chorus over n frames (the two channels touch separate lines). The
// frames go in pieces shorter than the shortest chorus delay (1102 frames), so every frame
// a piece reads was written before the piece began: the delays of the piece are computed
// first, then all its reads, then all its writes.
template <bool Right>
void chorusChannel(float* line, int write, int phase, double baseMs, const float* send, float* out,
                   int n) noexcept {
    constexpr int kPiece = 256;
    constexpr int kMask = Chorus::kLength - 1;
    int whole[kPiece];
    double fraction[kPiece];
    for (int done = 0; done < n;) {
        const int m = std::min(kPiece, n - done);
        for (int k = 0; k < m; ++k) {
            int p = phase + k;
            p = p >= kPeriod ? p - kPeriod : p;
            const double d = delayFrames(Chorus::kDepthMs, baseMs, Right ? rightPhase(p) : p);
            whole[k] = static_cast<int>(d);
            fraction[k] = d - whole[k];
        }
        for (int k = 0; k < m; ++k) {
            const int r = (write + k - whole[k]) & kMask;
            const double a = line[r];
            const double b = line[(r - 1) & kMask];
            out[done + k] += static_cast<float>(a + fraction[k] * (b - a));
        }
        for (int k = 0; k < m; ++k)
            line[(write + k) & kMask] = send[done + k];
        write = (write + m) & kMask;
        phase = (phase + m) % kPeriod;
        done += m;
    }
}

} // namespace

void Chorus::processRun(const float* sendL, const float* sendR, float* L, float* R,
                        int n) noexcept {
    if (n <= 0)
        return;
    chorusChannel<false>(left_.get(), write_, phase_, kBaseLeftMs, sendL, L, n);
    chorusChannel<true>(right_.get(), write_, phase_, kBaseRightMs, sendR, R, n);
    write_ = (write_ + n) & (kLength - 1);
    phase_ = (phase_ + n) % kPeriod;
}

} // namespace korvelt
