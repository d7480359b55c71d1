#include "effects/OutputStage.h"

#include <algorithm>
#include <cmath>

namespace korvelt {

void OutputStage::Limiter::update(double peak) noexcept {
    // Advance the running ramp.
    if (slope != 0.0) {
        gain += slope;
        if (slope > 0.0 && gain >= 1.0) {
            gain = 1.0;
            slope = 0.0;
        } else if (slope < 0.0 && gain <= target) {
            gain = target;
            slope = releaseSlope;
            releaseSlope = (1.0 - gain) * kInvLookAhead;
            target = 1.0;
            framesSinceTarget = 0;
        }
    }
    ++framesSinceTarget;
    if (peak <= 1.0)
        return;
    const double q = 1.0 / peak; // the gain that brings this frame to full scale
    if (slope > 0.0) {
        // Restoring: reduce again if this frame needs less gain than we have now,
        // otherwise restore no faster than reaches its level in time.
        if (q < gain) {
            target = q;
            slope = (q - gain) * kInvLookAhead;
            releaseSlope = (1.0 - q) * kInvLookAhead;
            framesSinceTarget = 0;
        } else {
            slope = std::min(slope, (q - gain) * kInvLookAhead);
        }
    } else if (q <= target) {
        // Idle or reducing, and this frame needs at least as much reduction as planned.
        const double x = (q - gain) * kInvLookAhead;
        if (x > slope && slope != 0.0) {
            target = gain + 131072.0 * slope;
        } else {
            target = q;
            slope = x;
        }
        framesSinceTarget = 0;
        releaseSlope = (1.0 - target) * kInvLookAhead;
    } else {
        // The planned target already covers this frame: make sure the release after the
        // target does not rise past this frame's level before it has left the line.
        releaseSlope =
            std::min(releaseSlope, (q - target) / static_cast<double>(framesSinceTarget));
    }
}

OutputStage::OutputStage()
    : lineL_(new float[kLookAhead]()), lineR_(new float[kLookAhead]()),
      scratch_(std::make_unique<Scratch>()) {}

void OutputStage::reset(float masterGain, float makeupGain, bool compressorOn) noexcept {
    std::fill(lineL_.get(), lineL_.get() + kLookAhead, 0.0f);
    std::fill(lineR_.get(), lineR_.get() + kLookAhead, 0.0f);
    position_ = 0;
    limiter_ = Limiter{};
    masterGain_ = masterGain;
    makeupGain_ = makeupGain;
    compressorOn_ = compressorOn;
    primeCount_ = kLookAhead;
}

// Written with min and max only, so that the conversion loop vectorises. It is the knee
// described in the header: for |x| <= 24575 the knee term is 24575 itself, so the smaller
// of |x| and the knee is |x|; above 24575 the knee never exceeds |x|; magnitudes above
// 32767 (infinity included, after holding |x| at 32768) give the knee's limit 28671; NaN
// gives 0 through the last max.
int OutputStage::softClip(float x) noexcept {
    const float a = std::min(std::fabs(x), 32768.0f);
    const float y = std::max(a - kKneeStart, 0.0f);
    const float knee = std::min(kKneeStart + y / (1.0f + 0.000122f * y), kClipLevel);
    const float m = std::max(0.0f, std::min(a, knee));
    const int v = static_cast<int>(m);
    return x < 0.0f ? -v : v;
}

int OutputStage::toSample(double x) noexcept {
    if (x != x)
        return 0;
    x = x > 32767.0 ? 32767.0 : x;
    x = x < -32768.0 ? -32768.0 : x;
    return static_cast<int>(x);
}

void OutputStage::processFrame(float L, float R, FrameSink& out) noexcept {
    const float L1 = L * masterGain_;
    const float R1 = R * masterGain_;
    limiter_.update(std::max(std::fabs(L1), std::fabs(R1)));
    const float DL = lineL_[position_];
    const float DR = lineR_[position_];
    const double g = limiter_.gain;
    int left, right;
    if (compressorOn_) {
        left = softClip(static_cast<float>(DL * g * makeupGain_ * 32767.0));
        right = softClip(static_cast<float>(DR * g * makeupGain_ * 32767.0));
    } else {
        left = toSample(DL * g * 32767.0);
        right = toSample(DR * g * 32767.0);
    }
    lineL_[position_] = L1;
    lineR_[position_] = R1;
    position_ = (position_ + 1) & (kLookAhead - 1);
    if (primeCount_ > 0) {
        --primeCount_;
        return;
    }
    const std::int16_t frame[2] = {static_cast<std::int16_t>(left),
                                   static_cast<std::int16_t>(right)};
    out.writeFrames(frame, 1);
}

void OutputStage::processRun(const float* L, const float* R, int n, FrameSink& out) noexcept {
    for (int done = 0; done < n; done += kMaxRun)
        processPiece(L + done, R + done, std::min(kMaxRun, n - done), out);
}

void OutputStage::processPiece(const float* L, const float* R, int n, FrameSink& out) noexcept {
    Scratch& s = *scratch_;
    const float mg = masterGain_;
    for (int k = 0; k < n; ++k) {
        const float l1 = L[k] * mg;
        const float r1 = R[k] * mg;
        s.left[k] = l1;
        s.right[k] = r1;
        s.peak[k] = std::max(std::fabs(l1), std::fabs(r1));
    }

    Limiter lim = limiter_;
    for (int k = 0; k < n; ++k) {
        lim.update(s.peak[k]);
        s.gain[k] = lim.gain;
    }
    limiter_ = lim;

    // The line, piece by piece up to its end: each frame reads its slot, then stores the
    // new frame there.
    const float makeup = makeupGain_;
    int k = 0;
    while (k < n) {
        const int piece = std::min(n - k, kLookAhead - position_);
        float* __restrict dl = lineL_.get() + position_;
        float* __restrict dr = lineR_.get() + position_;
        const double* __restrict gains = s.gain + k;
        if (compressorOn_) {
            float* __restrict vl = s.scaledL + k;
            float* __restrict vr = s.scaledR + k;
            for (int j = 0; j < piece; ++j) {
                vl[j] = static_cast<float>(dl[j] * gains[j] * makeup * 32767.0);
                vr[j] = static_cast<float>(dr[j] * gains[j] * makeup * 32767.0);
            }
        } else {
            int* __restrict sl = s.sampleL + k;
            int* __restrict sr = s.sampleR + k;
            for (int j = 0; j < piece; ++j) {
                sl[j] = toSample(dl[j] * gains[j] * 32767.0);
                sr[j] = toSample(dr[j] * gains[j] * 32767.0);
            }
        }
        std::copy(s.left + k, s.left + k + piece, dl);
        std::copy(s.right + k, s.right + k + piece, dr);
        position_ = (position_ + piece) & (kLookAhead - 1);
        k += piece;
    }

    if (compressorOn_) {
        for (int j = 0; j < n; ++j) {
            s.sampleL[j] = softClip(s.scaledL[j]);
            s.sampleR[j] = softClip(s.scaledR[j]);
        }
    }
    for (int j = 0; j < n; ++j) {
        s.pcm[2 * j] = static_cast<std::int16_t>(s.sampleL[j]);
        s.pcm[2 * j + 1] = static_cast<std::int16_t>(s.sampleR[j]);
    }

    int first = 0;
    if (primeCount_ > 0) {
        first = std::min(primeCount_, n);
        primeCount_ -= first;
    }
    if (first < n)
        out.writeFrames(s.pcm + 2 * first, n - first);
}

} // namespace korvelt
