#include "voice/SampleOscillator.h"

#include "bank/SampleStore.h"
#include "voice/GeneratorTable.h"
#include "voice/Lfo.h"
#include "voice/ModulationEnvelope.h"
#include "voice/VoiceMath.h"

#include <algorithm>
#include <cmath>

namespace korvelt {

namespace {

// What a stopped oscillator points at: never read while stopped, but always a valid
// buffer of one frame and its padding.
constexpr std::int16_t kSilence[SampleHeader::kPaddingFrames + 1] = {};

// The extra increment of a modulator at full depth: 2^(|cents|/1200) x base - base,
// negated for negative depths.
double pitchAmount(std::int32_t cents, double base) noexcept {
    if (cents == 0)
        return 0.0;
    const double amount = std::exp2(std::abs(double(cents)) / 1200.0) * base - base;
    return cents < 0 ? -amount : amount;
}

// The increment used per frame: non-negative, finite and bounded (see kMaxIncrement).
double effectiveIncrement(double increment) noexcept {
    if (!(increment > 0.0))
        return 0.0;
    return std::min(increment, SampleOscillator::kMaxIncrement);
}

std::uint32_t limitPoint(std::int64_t point, std::int32_t residentLength) noexcept {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(point, 0, residentLength));
}

} // namespace

SampleOscillator::SampleOscillator(SampleHeader& sample,
                                   const ModulationEnvelope& modulationEnvelope,
                                   const Lfo& vibratoLfo, const Lfo& modulationLfo) noexcept
    : data_(kSilence), modulationEnvelope_(modulationEnvelope), vibratoLfo_(vibratoLfo),
      modulationLfo_(modulationLfo), sample_(sample), rootKey_(sample.originalPitch),
      fineTune_(sample.pitchCorrection) {}

void SampleOscillator::applyGenerator(const Generator& generator, bool additive) noexcept {
    constexpr std::int32_t kCoarse = 32768;
    switch (generator.oper) {
    case gen::StartAddrsOffset:
        applyGeneratorAmount(startOffset_, generator, additive);
        break;
    case gen::EndAddrsOffset:
        applyGeneratorAmount(endOffset_, generator, additive);
        break;
    case gen::StartloopAddrsOffset:
        applyGeneratorAmount(loopStartOffset_, generator, additive);
        break;
    case gen::EndloopAddrsOffset:
        applyGeneratorAmount(loopEndOffset_, generator, additive);
        break;
    case gen::StartAddrsCoarseOffset:
        applyGeneratorAmount(startOffset_, generator, additive, kCoarse);
        break;
    case gen::EndAddrsCoarseOffset:
        applyGeneratorAmount(endOffset_, generator, additive, kCoarse);
        break;
    case gen::StartloopAddrsCoarseOffset:
        applyGeneratorAmount(loopStartOffset_, generator, additive, kCoarse);
        break;
    case gen::EndloopAddrsCoarseOffset:
        applyGeneratorAmount(loopEndOffset_, generator, additive, kCoarse);
        break;
    case gen::ModLfoToPitch:
        applyGeneratorAmount(modLfoToPitch_, generator, additive);
        break;
    case gen::VibLfoToPitch:
        applyGeneratorAmount(vibLfoToPitch_, generator, additive);
        break;
    case gen::ModEnvToPitch:
        applyGeneratorAmount(modEnvToPitch_, generator, additive);
        break;
    case gen::CoarseTune:
        applyGeneratorAmount(coarseTune_, generator, additive);
        break;
    case gen::FineTune:
        // The sample's own correction stays part of an absolute fine tune.
        if (applyGeneratorAmount(fineTune_, generator, additive) && !additive)
            fineTune_ = voice::clampToInt32(std::int64_t(fineTune_) + sample_.pitchCorrection);
        break;
    case gen::SampleModes:
        applyGeneratorAmount(loopMode_, generator, additive);
        break;
    case gen::OverridingRootKey:
        applyGeneratorAmount(rootKey_, generator, additive);
        break;
    default:
        break;
    }
}

void SampleOscillator::start(int key, bool keyTracking, SampleStore& store, Notifier* problems) {
    const double rate = sample_.sampleRate / voice::kOutputRate;
    if (keyTracking) {
        const auto& table = voice::keyFrequencies();
        // A root key outside 0...127 (-1 means "none" in banks) falls back to the sample's
        // original pitch, and an unpitched sample (original pitch above 127) to key 60.
        int root = rootKey_;
        if (root < 0 || root > 127)
            root = sample_.originalPitch <= 127 ? sample_.originalPitch : 60;
        double f = table[root];
        if (coarseTune_ > 0)
            f = f / std::exp2(coarseTune_ / 12.0);
        if (coarseTune_ < 0)
            f = f * std::exp2(-double(coarseTune_) / 12.0);
        if (fineTune_ > 0)
            f = f / std::exp2(fineTune_ / 1200.0);
        if (fineTune_ < 0)
            f = f * std::exp2(-double(fineTune_) / 1200.0);
        baseIncrement_ = table[std::clamp(key, 0, 127)] * rate / f;
        modLfoAmount_ = pitchAmount(modLfoToPitch_, baseIncrement_);
        vibLfoAmount_ = pitchAmount(vibLfoToPitch_, baseIncrement_);
        modEnvAmount_ = pitchAmount(modEnvToPitch_, baseIncrement_);
        bendAmount_ = pitchAmount(bendCents_, baseIncrement_);
    } else {
        // Percussion plays every key at the recorded pitch; the amounts stay as they were.
        baseIncrement_ = rate;
    }
    state_ = loopMode_ != 0 ? State::Looping : State::Playing;
    fraction_ = 0.0;
    modulationIncrement_ = 0.0;

    const std::int64_t start = startOffset_;
    const std::int64_t end = std::int64_t(sample_.playLength) + endOffset_;
    const std::int64_t loopEnd = std::int64_t(sample_.loopEnd) + loopEndOffset_;
    const std::int64_t loopStart = std::int64_t(sample_.loopStart) + loopStartOffset_;
    // Hold every frame the zone can address.
    SampleStore::Held held = store.hold(
        sample_, voice::clampToInt32(std::max({start, end, loopStart, loopEnd})), problems);
    dataOwner_ = std::move(held.data);
    residentLength_ = held.residentLength;
    data_ = dataOwner_ ? dataOwner_.get() : kSilence;

    // Points before the first frame or past the resident frames are limited to them.
    position_ = limitPoint(start, residentLength_);
    end_ = limitPoint(end, residentLength_);
    loopEnd_ = limitPoint(loopEnd, residentLength_);
    loopStart_ = limitPoint(loopStart, residentLength_);
    updateDirect();
}

void SampleOscillator::updateDirect() noexcept {
    direct_ = baseIncrement_ == 1.0 && modulationIncrement_ == 0.0;
    step_ = effectiveIncrement(baseIncrement_ + modulationIncrement_);
}

void SampleOscillator::updatePitchModulation() noexcept {
    modulationIncrement_ = 0.0;
    if (state_ != State::Stopped) {
        if (modLfoAmount_ != 0.0)
            modulationIncrement_ += modLfoAmount_ * modulationLfo_.value();
        if (vibLfoAmount_ != 0.0)
            modulationIncrement_ += vibLfoAmount_ * vibratoLfo_.value();
        if (modEnvAmount_ != 0.0)
            modulationIncrement_ += modEnvAmount_ * modulationEnvelope_.level();
        if (bendAmount_ != 0.0)
            modulationIncrement_ += bendAmount_;
    }
    updateDirect();
}

void SampleOscillator::setPitchBend(int cents) noexcept {
    bendCents_ = cents;
    if (state_ != State::Stopped)
        bendAmount_ = pitchAmount(bendCents_, baseIncrement_);
}

void SampleOscillator::setVibratoDepth(int value) noexcept {
    vibLfoToPitch_ = voice::clampToInt32(std::int64_t(value) * 50 / 128);
}

void SampleOscillator::followMaster(const SampleOscillator& master) noexcept {
    position_ = master.position_;
    fraction_ = master.fraction_;
    baseIncrement_ = master.baseIncrement_;
    modulationIncrement_ = master.modulationIncrement_;
    step_ = master.step_;
    direct_ = master.direct_;
    if (state_ != State::Stopped && position_ >= end_)
        state_ = State::Stopped;
}

void SampleOscillator::releaseData() noexcept {
    if (state_ != State::Stopped)
        return;
    data_ = kSilence;
    dataOwner_.reset();
    residentLength_ = 0;
}

// Moves `frames` frames on, one at a time in effect: each frame that reaches the end stops
// the oscillator, each that reaches the loop end while looping jumps to the loop start.
// Computed in a few steps whatever the count.
void SampleOscillator::advance(std::uint64_t frames) noexcept {
    std::uint64_t p = position_;
    while (frames > 0) {
        if (state_ != State::Looping || loopEnd_ >= end_) {
            // No loop jump can come before the end.
            p += frames;
            if (p >= end_) {
                state_ = State::Stopped;
                p = end_;
            }
            break;
        }
        if (p >= loopEnd_) {
            // Already past the loop end (started there, or a loop start beyond its end):
            // the next frame ends the sample or jumps back.
            ++p;
            --frames;
            if (p >= end_) {
                state_ = State::Stopped;
                p = end_;
                break;
            }
            p = loopStart_;
            if (loopStart_ >= loopEnd_) {
                // Every further frame jumps back to the same loop start.
                if (frames > 0 && std::uint64_t(loopStart_) + 1 >= end_) {
                    state_ = State::Stopped;
                    p = end_;
                }
                break;
            }
            continue;
        }
        const std::uint64_t toLoopEnd = loopEnd_ - p;
        if (frames < toLoopEnd) {
            p += frames;
            break;
        }
        frames -= toLoopEnd;
        p = loopStart_;
        if (loopStart_ < loopEnd_)
            frames %= loopEnd_ - loopStart_;
        // A loop start at or past the loop end is handled on the next round.
    }
    position_ = static_cast<std::uint32_t>(p);
}

} // namespace korvelt
