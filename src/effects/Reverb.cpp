#include "effects/Reverb.h"

#include <algorithm>
#include <cstring>

namespace korvelt {

void AllpassFilter::processRun(float* x, int n) noexcept {
    const float fb = feedback;
    int done = 0;
    while (done < n) {
        const int piece = std::min(n - done, length - index);
        float* __restrict p = line + index;
        float* __restrict v = x + done;
        for (int j = 0; j < piece; ++j) {
            const float b = flushDenormal(p[j]);
            p[j] = v[j] + b * fb;
            v[j] = b - v[j];
        }
        index += piece;
        if (index >= length)
            index = 0;
        done += piece;
    }
}

Reverb::Reverb() : lines_(new float[kLineFloats]()), scratch_(std::make_unique<Scratch>()) {
    float* next = lines_.get();
    for (int ch = 0; ch < 2; ++ch) {
        const int spread = ch == 0 ? 0 : kStereoSpread;
        for (int i = 0; i < kCombs; ++i) {
            CombFilter& c = combs_[ch][i];
            c.line = next;
            c.length = kCombLengths[i] + spread;
            c.index = 0;
            c.filterstore = 0.0f;
            next += c.length;
        }
        for (int i = 0; i < kAllpasses; ++i) {
            AllpassFilter& a = allpasses_[ch][i];
            a.line = next;
            a.length = kAllpassLengths[i] + spread;
            a.index = 0;
            a.feedback = kAllpassFeedback;
            next += a.length;
        }
    }
    setWet(0.33333334f);
    setRoomSize(0.5f);
    setDry(0.0f);
    setDamp(0.5f);
    setWidth(1.0f);
    setMode(0.0f);
    mute();
}

void Reverb::setRoomSize(float value) noexcept {
    roomsize_ = value * kScaleRoom + kOffsetRoom;
    update();
}

void Reverb::setDamp(float value) noexcept {
    damp_ = value * kScaleDamp;
    update();
}

void Reverb::setWet(float value) noexcept {
    wet_ = value * kScaleWet;
    update();
}

void Reverb::setDry(float value) noexcept {
    dry_ = value * kScaleDry;
}

void Reverb::setWidth(float value) noexcept {
    width_ = value;
    update();
}

void Reverb::setMode(float value) noexcept {
    mode_ = value;
    update();
}

void Reverb::update() noexcept {
    wet1_ = wet_ * (width_ + 1.0f) * 0.5f;
    wet2_ = wet_ * (1.0f - width_) * 0.5f;
    if (mode_ >= kFreezeMode) {
        roomsize1_ = 1.0f;
        damp1_ = 0.0f;
        gain_ = 0.0f;
    } else {
        roomsize1_ = roomsize_;
        damp1_ = damp_;
        gain_ = kFixedGain;
    }
    for (auto& channel : combs_) {
        for (CombFilter& c : channel) {
            c.feedback = roomsize1_;
            c.damp1 = damp1_;
            c.damp2 = 1.0f - damp1_;
        }
    }
}

void Reverb::mute() noexcept {
    if (getMode() >= kFreezeMode)
        return;
    std::fill(lines_.get(), lines_.get() + kLineFloats, 0.0f);
}

void Reverb::process(float inL, float inR, float& L, float& R) noexcept {
    const float input = (inL + inR) * gain_;
    float outL = 0.0f;
    float outR = 0.0f;
    for (int i = 0; i < kCombs; ++i) {
        outL += combs_[0][i].process(input);
        outR += combs_[1][i].process(input);
    }
    for (int i = 0; i < kAllpasses; ++i) {
        outL = allpasses_[0][i].process(outL);
        outR = allpasses_[1][i].process(outR);
    }
    L += outL * wet1_ + outR * wet2_;
    R += outR * wet1_ + outL * wet2_;
}

void Reverb::processRun(const float* inL, const float* inR, float* L, float* R, int n) noexcept {
    for (int done = 0; done < n; done += kMaxRun) {
        const int piece = std::min(kMaxRun, n - done);
        processPiece(inL + done, inR + done, L + done, R + done, piece);
    }
}

// One run of at most kMaxRun frames. Each comb's step is split in three passes, which give
// exactly the frame-by-frame result because the run is shorter than every comb line:
//  1. the frames leaving each comb during the run (all written before the run began) are
//     fetched, flushed, and added in comb order to the channel sums;
//  2. the sixteen lowpass recursions advance side by side, frame by frame (the only truly
//     sequential part, and sixteen independent chains keep the processor busy);
//  3. the new line values go back into each line.
// The allpasses then run over the whole run one after another, as in a frame they are
// applied one after another.
void Reverb::processPiece(const float* inL, const float* inR, float* L, float* R, int n) noexcept {
    constexpr int kLanes = 2 * kCombs;
    Scratch& s = *scratch_;
    const float g = gain_;
    for (int k = 0; k < n; ++k) {
        s.input[k] = (inL[k] + inR[k]) * g;
        s.outL[k] = 0.0f;
        s.outR[k] = 0.0f;
    }

    float* __restrict frames = s.combFrames;
    for (int lane = 0; lane < kLanes; ++lane) {
        const CombFilter& c = combs_[lane / kCombs][lane % kCombs];
        float* __restrict out = lane < kCombs ? s.outL : s.outR;
        int k = 0;
        int index = c.index;
        while (k < n) {
            const int piece = std::min(n - k, c.length - index);
            const float* __restrict p = c.line + index;
            for (int j = 0; j < piece; ++j) {
                const float y = flushDenormal(p[j]);
                out[k + j] += y;
                frames[(k + j) * kLanes + lane] = y;
            }
            k += piece;
            index = 0;
        }
    }

    float store[kLanes], d1[kLanes], d2[kLanes], fb[kLanes];
    for (int lane = 0; lane < kLanes; ++lane) {
        const CombFilter& c = combs_[lane / kCombs][lane % kCombs];
        store[lane] = c.filterstore;
        d1[lane] = c.damp1;
        d2[lane] = c.damp2;
        fb[lane] = c.feedback;
    }
    for (int k = 0; k < n; ++k) {
        float* __restrict f = frames + k * kLanes;
        const float x = s.input[k];
        for (int lane = 0; lane < kLanes; ++lane) {
            const float st = flushDenormal(f[lane] * d2[lane] + store[lane] * d1[lane]);
            store[lane] = st;
            f[lane] = x + st * fb[lane];
        }
    }

    for (int lane = 0; lane < kLanes; ++lane) {
        CombFilter& c = combs_[lane / kCombs][lane % kCombs];
        c.filterstore = store[lane];
        int k = 0;
        while (k < n) {
            const int piece = std::min(n - k, c.length - c.index);
            float* __restrict p = c.line + c.index;
            for (int j = 0; j < piece; ++j)
                p[j] = frames[(k + j) * kLanes + lane];
            k += piece;
            c.index += piece;
            if (c.index >= c.length)
                c.index = 0;
        }
    }

    for (int i = 0; i < kAllpasses; ++i) {
        allpasses_[0][i].processRun(s.outL, n);
        allpasses_[1][i].processRun(s.outR, n);
    }
    const float w1 = wet1_;
    const float w2 = wet2_;
    for (int k = 0; k < n; ++k) {
        const float oL = s.outL[k];
        const float oR = s.outR[k];
        L[k] += oL * w1 + oR * w2;
        R[k] += oR * w1 + oL * w2;
    }
}

} // namespace korvelt
