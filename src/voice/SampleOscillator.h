#pragma once

#include "bank/BankRecords.h"

#include <cstdint>
#include <memory>

namespace korvelt {

class Lfo;
class ModulationEnvelope;
class Notifier;
class SampleStore;

// Plays a zone's 16-bit sample from its start offset to its end, looping between the loop
// points when the zone asks for it, resampled to 44100 Hz by linear interpolation at a
// pitch set by key, root key, tuning, pitch wheel and three pitch modulators.
//
// Reads never leave the resident buffer (residentLength frames followed by 23 frames of
// silence): at note start the start, end and loop points are limited to 0...residentLength,
// so every frame read lies at or before residentLength + 1. A sample played by this
// oscillator stays alive until it stops, even if the store evicts or regrows the buffer,
// because the oscillator holds its own reference to it.
class SampleOscillator {
public:
    enum class State : std::int32_t { Stopped = 0, Playing = 1, Looping = 2 };

    // Effective increments are limited to 0...2^24 frames of sample per output frame. A
    // downward bend or modulation beyond -1200 cents would make the increment negative;
    // it stands still at 0 instead of running backwards out of the sample.
    static constexpr double kMaxIncrement = 16777216.0;

    SampleOscillator(SampleHeader& sample, const ModulationEnvelope& modulationEnvelope,
                     const Lfo& vibratoLfo, const Lfo& modulationLfo) noexcept;

    // Generators 0-7, 12, 45, 50-52, 54 and 58.
    void applyGenerator(const Generator& generator, bool additive) noexcept;
    // Per note: key 0...127. Makes the sample resident through the store, which reports a
    // sample it cannot read to `problems` (when not null).
    void start(int key, bool keyTracking, SampleStore& store, Notifier* problems = nullptr);
    // Once per control block, before the block's frames.
    void updatePitchModulation() noexcept;

    // The next output frame in -1...+1, 0 when stopped.
    double next() noexcept {
        if (state_ == State::Stopped)
            return 0.0;
        return direct_ ? nextDirect() : nextInterpolated();
    }
    // Writes up to `frames` output frames, exactly as that many calls of next() would,
    // each passed through `post` (a double -> double function, such as the filter) and
    // stored as T. Ends early on the frame at which the oscillator stops. Returns the
    // frames written: 0 when already stopped.
    template <class T, class Post>
    int renderBlock(T* out, int frames, Post&& post) noexcept;
    int renderBlock(double* out, int frames) noexcept {
        return renderBlock(out, frames, [](double x) { return x; });
    }

    // Whether the next `frames` frames are ordinary interpolated frames: no end, loop point
    // or direct copying among them (what renderBlock's fast path needs).
    bool canRenderInterpolated(int frames) const noexcept {
        if (state_ == State::Stopped || direct_)
            return false;
        std::uint64_t boundary = end_;
        if (state_ == State::Looping && loopEnd_ < boundary)
            boundary = loopEnd_;
        const double reach = fraction_ + step_ * frames;
        return std::uint64_t(position_) + static_cast<std::uint64_t>(reach) + 3 < boundary;
    }
    // Two oscillators' next `frames` frames in one loop, each exactly as its renderBlock
    // gives them; both must be able to render them interpolated. The frame-to-frame chains
    // of the two (fraction, and the filter in `post`) are independent, so the processor
    // runs them side by side instead of waiting on one chain at a time.
    template <class PostA, class PostB>
    static void renderInterpolatedPair(SampleOscillator& a, float* outA, PostA&& postA,
                                       SampleOscillator& b, float* outB, PostB&& postB,
                                       int frames) noexcept;

    // Loop mode 3 ends its loop at release and plays on to the end.
    void release() noexcept {
        if (loopMode_ == 3 && state_ == State::Looping)
            state_ = State::Playing;
    }
    void setPitchBend(int cents) noexcept;
    // value 0...127 gives 0...49 cents of vibrato, heard from the next note on.
    void setVibratoDepth(int value) noexcept;
    // Takes the play position, fraction, increments and interpolation choice of the
    // master of a stereo pair, so that both play in lockstep. A position at or past this
    // sample's own end stops this oscillator.
    void followMaster(const SampleOscillator& master) noexcept;
    void stop() noexcept { state_ = State::Stopped; }
    // Drops this oscillator's reference to the sample data; only while stopped.
    void releaseData() noexcept;

    State state() const noexcept { return state_; }
    bool isStopped() const noexcept { return state_ == State::Stopped; }
    bool isDirect() const noexcept { return direct_; }
    std::uint32_t position() const noexcept { return position_; }
    double fraction() const noexcept { return fraction_; }
    double baseIncrement() const noexcept { return baseIncrement_; }
    double modulationIncrement() const noexcept { return modulationIncrement_; }
    // baseIncrement + modulationIncrement as used per frame, limited as above.
    double increment() const noexcept { return step_; }
    std::uint32_t end() const noexcept { return end_; }
    std::uint32_t loopStart() const noexcept { return loopStart_; }
    std::uint32_t loopEnd() const noexcept { return loopEnd_; }
    std::int32_t startOffset() const noexcept { return startOffset_; }
    std::int32_t endOffset() const noexcept { return endOffset_; }
    std::int32_t loopStartOffset() const noexcept { return loopStartOffset_; }
    std::int32_t loopEndOffset() const noexcept { return loopEndOffset_; }
    std::int32_t rootKey() const noexcept { return rootKey_; }
    std::int32_t loopMode() const noexcept { return loopMode_; }
    std::int32_t coarseTune() const noexcept { return coarseTune_; }
    std::int32_t fineTune() const noexcept { return fineTune_; }
    std::int32_t modLfoToPitch() const noexcept { return modLfoToPitch_; }
    std::int32_t vibLfoToPitch() const noexcept { return vibLfoToPitch_; }
    std::int32_t modEnvToPitch() const noexcept { return modEnvToPitch_; }
    double bendAmount() const noexcept { return bendAmount_; }
    double modLfoAmount() const noexcept { return modLfoAmount_; }
    double vibLfoAmount() const noexcept { return vibLfoAmount_; }
    double modEnvAmount() const noexcept { return modEnvAmount_; }
    // The buffer being read and its decoded length.
    const std::shared_ptr<std::int16_t[]>& data() const noexcept { return dataOwner_; }
    std::int32_t residentLength() const noexcept { return residentLength_; }

private:
    static constexpr double kScale = 1.0 / 32768.0;

    double nextDirect() noexcept {
        const double v = data_[position_] * kScale;
        ++position_;
        if (position_ >= end_)
            state_ = State::Stopped;
        else if (state_ == State::Looping && position_ >= loopEnd_)
            position_ = loopStart_;
        return v;
    }
    double nextInterpolated() noexcept {
        const int a = data_[position_];
        const int b = state_ == State::Looping && position_ + 1 >= loopEnd_ ? data_[loopStart_]
                                                                            : data_[position_ + 1];
        const double v = (a + (b - a) * fraction_) * kScale;
        fraction_ += step_;
        if (fraction_ >= 1.0) {
            const auto whole = static_cast<std::int64_t>(fraction_);
            fraction_ -= static_cast<double>(whole);
            advance(static_cast<std::uint64_t>(whole));
        }
        return v;
    }
    void advance(std::uint64_t frames) noexcept;
    void updateDirect() noexcept;

    // Per-frame state first.
    const std::int16_t* data_;
    std::uint32_t position_ = 0;
    State state_ = State::Stopped;
    double fraction_ = 0.0;
    double step_ = 1.0;
    std::uint32_t end_ = 0;
    std::uint32_t loopEnd_ = 0;
    std::uint32_t loopStart_ = 0;
    bool direct_ = false;

    double baseIncrement_ = 1.0;
    double modulationIncrement_ = 0.0;
    double modLfoAmount_ = 0.0;
    double vibLfoAmount_ = 0.0;
    double modEnvAmount_ = 0.0;
    double bendAmount_ = 0.0;
    const ModulationEnvelope& modulationEnvelope_;
    const Lfo& vibratoLfo_;
    const Lfo& modulationLfo_;
    SampleHeader& sample_;
    std::shared_ptr<std::int16_t[]> dataOwner_;
    std::int32_t residentLength_ = 0;
    std::int32_t loopMode_ = 0;
    std::int32_t rootKey_;
    std::int32_t coarseTune_ = 0; // semitones
    std::int32_t fineTune_;       // cents
    std::int32_t modLfoToPitch_ = 0;
    std::int32_t vibLfoToPitch_ = 0;
    std::int32_t modEnvToPitch_ = 0;
    std::int32_t bendCents_ = 0;
    std::int32_t startOffset_ = 0;
    std::int32_t endOffset_ = 0;
    std::int32_t loopStartOffset_ = 0;
    std::int32_t loopEndOffset_ = 0;
};

template <class T, class Post>
int SampleOscillator::renderBlock(T* out, int frames, Post&& post) noexcept {
    if (state_ == State::Stopped || frames <= 0)
        return 0;
    // Frames before which neither the end nor a loop jump can happen.
    std::uint64_t boundary = end_;
    if (state_ == State::Looping && loopEnd_ < boundary)
        boundary = loopEnd_;

    if (direct_) {
        if (std::uint64_t(position_) + std::uint64_t(frames) < boundary) {
            const std::int16_t* d = data_ + position_;
            for (int j = 0; j < frames; ++j)
                out[j] = static_cast<T>(post(d[j] * kScale));
            position_ += static_cast<std::uint32_t>(frames);
            return frames;
        }
        for (int j = 0; j < frames; ++j) {
            out[j] = static_cast<T>(post(nextDirect()));
            if (state_ == State::Stopped)
                return j + 1;
        }
        return frames;
    }

    // The fraction can carry the position at most this far in the block (with a margin
    // for rounding); if that stays short of the boundary, and the frame after it is still
    // ordinary data, the block needs no end or loop checks.
    const double reach = fraction_ + step_ * frames;
    if (std::uint64_t(position_) + static_cast<std::uint64_t>(reach) + 3 < boundary) {
        // fraction + increment lies in [w, w + 2) for w = the increment's whole part, so
        // each frame moves on by w or w + 1 frames. Both differences below are exact, so
        // the fraction is bit for bit what subtracting 1 until it is below 1 gives, without
        // a float-to-integer conversion in the chain from one frame to the next.
        const std::int16_t* d = data_;
        std::uint64_t p = position_;
        double f = fraction_;
        const double increment = step_;
        const auto whole = static_cast<std::uint64_t>(increment);
        const double low = static_cast<double>(whole), high = low + 1.0;
        for (int j = 0; j < frames; ++j) {
            const int a = d[p];
            const int b = d[p + 1];
            out[j] = static_cast<T>(post((a + (b - a) * f) * kScale));
            const double x = f + increment;
            const bool carry = x >= high;
            f = carry ? x - high : x - low;
            p += whole + carry;
        }
        position_ = static_cast<std::uint32_t>(p);
        fraction_ = f;
        return frames;
    }
    for (int j = 0; j < frames; ++j) {
        out[j] = static_cast<T>(post(nextInterpolated()));
        if (state_ == State::Stopped)
            return j + 1;
    }
    return frames;
}

template <class PostA, class PostB>
void SampleOscillator::renderInterpolatedPair(SampleOscillator& a, float* outA, PostA&& postA,
                                              SampleOscillator& b, float* outB, PostB&& postB,
                                              int frames) noexcept {
    // The same arithmetic as renderBlock's fast path, for two oscillators at once.
    const std::int16_t* da = a.data_;
    const std::int16_t* db = b.data_;
    std::uint64_t pa = a.position_, pb = b.position_;
    double fa = a.fraction_, fb = b.fraction_;
    const double ia = a.step_, ib = b.step_;
    const auto wa = static_cast<std::uint64_t>(ia), wb = static_cast<std::uint64_t>(ib);
    const double la = static_cast<double>(wa), ha = la + 1.0;
    const double lb = static_cast<double>(wb), hb = lb + 1.0;
    for (int j = 0; j < frames; ++j) {
        const int a0 = da[pa], a1 = da[pa + 1];
        const int b0 = db[pb], b1 = db[pb + 1];
        outA[j] = static_cast<float>(postA((a0 + (a1 - a0) * fa) * kScale));
        outB[j] = static_cast<float>(postB((b0 + (b1 - b0) * fb) * kScale));
        const double xa = fa + ia;
        const double xb = fb + ib;
        const bool ca = xa >= ha;
        const bool cb = xb >= hb;
        fa = ca ? xa - ha : xa - la;
        fb = cb ? xb - hb : xb - lb;
        pa += wa + ca;
        pb += wb + cb;
    }
    a.position_ = static_cast<std::uint32_t>(pa);
    a.fraction_ = fa;
    b.position_ = static_cast<std::uint32_t>(pb);
    b.fraction_ = fb;
}

} // namespace korvelt
