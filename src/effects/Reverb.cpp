#include "effects/Reverb.h"

#include <algorithm>
#include <bit>
#include <cstdint>
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

namespace {

// Four single-precision lanes. The arithmetic on them is the same IEEE single-precision
// arithmetic as on single values (and the build never fuses a multiply with an add), so a
// lane gives bit for bit what the frame-by-frame code gives.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = std::int32_t __attribute__((vector_size(16)));

inline Float4 load4(const float* p) noexcept {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, Float4 v) noexcept {
    std::memcpy(p, &v, sizeof v);
}

// flushDenormal() on each lane.
inline Float4 flush4(Float4 v) noexcept {
    const Int4 bits = std::bit_cast<Int4>(v);
    const Int4 keep = (bits & 0x7f800000) != 0;
    return std::bit_cast<Float4>(bits & keep);
}

// Rows become columns: a, b, c, d hold four frames of four combs; afterwards each holds one
// frame of all four combs (and the other way round).
inline void transpose(Float4& a, Float4& b, Float4& c, Float4& d) noexcept {
    const Float4 ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5);
    const Float4 ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
    const Float4 cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5);
    const Float4 cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
    a = __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5);
    b = __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7);
    c = __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5);
    d = __builtin_shufflevector(ab23, cd23, 2, 3, 6, 7);
}

} // namespace

// The eight combs of one side over n frames (n below every line length): out[k] receives
// the sum of the comb outputs of frame k in comb order. Every comb shares the feedback and
// damping that update() gives them all.
//
// The combs go four at a time in vector lanes, four frames at a time: the frames leaving a
// comb are contiguous in its line, so four frames of four combs load as four vectors,
// which are added in comb order to the sums and transposed, so that the lowpass
// recursions of four combs advance together frame by frame (two groups of four give two
// independent chains); the new line values are transposed back and stored. Frames left
// over before a comb reaches the end of its line go one at a time.
void Reverb::combSide(CombFilter* combs, const float* input, float* out, int n) noexcept {
    const float fb = combs[0].feedback;
    const float d1 = combs[0].damp1;
    const float d2 = combs[0].damp2;
    Float4 st0 = {combs[0].filterstore, combs[1].filterstore, combs[2].filterstore,
                  combs[3].filterstore};
    Float4 st1 = {combs[4].filterstore, combs[5].filterstore, combs[6].filterstore,
                  combs[7].filterstore};
    int k = 0;
    while (k < n) {
        int piece = n - k;
        float* line[kCombs];
        for (int i = 0; i < kCombs; ++i) {
            piece = std::min(piece, combs[i].length - combs[i].index);
            line[i] = combs[i].line + combs[i].index;
        }
        int j = 0;
        for (; j + 4 <= piece; j += 4) {
            Float4 a0 = flush4(load4(line[0] + j)), a1 = flush4(load4(line[1] + j));
            Float4 a2 = flush4(load4(line[2] + j)), a3 = flush4(load4(line[3] + j));
            Float4 b0 = flush4(load4(line[4] + j)), b1 = flush4(load4(line[5] + j));
            Float4 b2 = flush4(load4(line[6] + j)), b3 = flush4(load4(line[7] + j));
            Float4 sum = Float4{} + a0;
            sum += a1;
            sum += a2;
            sum += a3;
            sum += b0;
            sum += b1;
            sum += b2;
            sum += b3;
            store4(out + k + j, sum);
            transpose(a0, a1, a2, a3);
            transpose(b0, b1, b2, b3);
            const float* x = input + k + j;
            st0 = flush4(a0 * d2 + st0 * d1);
            st1 = flush4(b0 * d2 + st1 * d1);
            a0 = x[0] + st0 * fb;
            b0 = x[0] + st1 * fb;
            st0 = flush4(a1 * d2 + st0 * d1);
            st1 = flush4(b1 * d2 + st1 * d1);
            a1 = x[1] + st0 * fb;
            b1 = x[1] + st1 * fb;
            st0 = flush4(a2 * d2 + st0 * d1);
            st1 = flush4(b2 * d2 + st1 * d1);
            a2 = x[2] + st0 * fb;
            b2 = x[2] + st1 * fb;
            st0 = flush4(a3 * d2 + st0 * d1);
            st1 = flush4(b3 * d2 + st1 * d1);
            a3 = x[3] + st0 * fb;
            b3 = x[3] + st1 * fb;
            transpose(a0, a1, a2, a3);
            transpose(b0, b1, b2, b3);
            store4(line[0] + j, a0);
            store4(line[1] + j, a1);
            store4(line[2] + j, a2);
            store4(line[3] + j, a3);
            store4(line[4] + j, b0);
            store4(line[5] + j, b1);
            store4(line[6] + j, b2);
            store4(line[7] + j, b3);
        }
        for (; j < piece; ++j) {
            const float x = input[k + j];
            float y[kCombs];
            for (int i = 0; i < kCombs; ++i)
                y[i] = flushDenormal(line[i][j]);
            float sum = 0.0f;
            for (int i = 0; i < kCombs; ++i)
                sum += y[i];
            out[k + j] = sum;
            for (int i = 0; i < 4; ++i) {
                st0[i] = flushDenormal(y[i] * d2 + st0[i] * d1);
                st1[i] = flushDenormal(y[4 + i] * d2 + st1[i] * d1);
                line[i][j] = x + st0[i] * fb;
                line[4 + i][j] = x + st1[i] * fb;
            }
        }
        for (int i = 0; i < kCombs; ++i) {
            combs[i].index += piece;
            if (combs[i].index >= combs[i].length)
                combs[i].index = 0;
        }
        k += piece;
    }
    for (int i = 0; i < 4; ++i) {
        combs[i].filterstore = st0[i];
        combs[4 + i].filterstore = st1[i];
    }
}

// One run of at most kMaxRun frames: the combs of each side (combSide), then the allpasses
// over the whole run one after another, as in a frame they are applied one after another.
void Reverb::processPiece(const float* inL, const float* inR, float* L, float* R, int n) noexcept {
    Scratch& s = *scratch_;
    const float g = gain_;
    for (int k = 0; k < n; ++k)
        s.input[k] = (inL[k] + inR[k]) * g;
    combSide(combs_[0], s.input, s.outL, n);
    combSide(combs_[1], s.input, s.outR, n);

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
