#include "voice/VolumeEnvelope.h"

#include "voice/GeneratorTable.h"
#include "voice/VoiceMath.h"

#include <algorithm>

namespace korvelt {

namespace {
constexpr std::int32_t kNoTime = -32768;
} // namespace

void VolumeEnvelope::applyGenerator(const Generator& generator, bool additive) noexcept {
    std::int32_t* field = nullptr;
    switch (generator.oper) {
    case gen::DelayVolEnv:
        field = &delay_;
        break;
    case gen::AttackVolEnv:
        field = &attack_;
        break;
    case gen::HoldVolEnv:
        field = &hold_;
        break;
    case gen::DecayVolEnv:
        field = &decay_;
        break;
    case gen::SustainVolEnv:
        field = &sustain_;
        break;
    case gen::ReleaseVolEnv:
        field = &release_;
        break;
    case gen::KeynumToVolEnvHold:
        field = &keyToHold_;
        break;
    case gen::KeynumToVolEnvDecay:
        field = &keyToDecay_;
        break;
    default:
        return;
    }
    applyGeneratorAmount(*field, generator, additive);
}

void VolumeEnvelope::prepare() noexcept {
    delayTicks_ = delay_ == kNoTime ? 0 : voice::timecentsToTicks(delay_);
    attackTicks_ = attack_ == kNoTime ? 0 : voice::timecentsToTicks(attack_);
    if (sustain_ < 0)
        sustain_ = 0;
    // A release longer than SoundFont's limit of 8000 timecents (about 100 seconds) is
    // held there: far longer ones never reach their end (the level's steps vanish below a
    // float's precision), so the voice, and the render's tail, would never end.
    releaseTicks_ = voice::timecentsToTicks(std::min(release_, kLongestRelease));
}

void VolumeEnvelope::start(int key) noexcept {
    level_ = 1000.0f;
    phase_ = Phase::Delay;
    counter_ = 0;
    holdTicks_ = hold_ == kNoTime ? 0 : voice::keyScaledTicks(hold_, keyToHold_, key);
    decayTicks_ = voice::keyScaledTicks(decay_, keyToDecay_, key);
}

void VolumeEnvelope::tick() noexcept {
    switch (phase_) {
    case Phase::Delay:
        if (counter_ < delayTicks_) {
            ++counter_;
        } else if (attackTicks_ == 0) {
            level_ = 0.0f;
            counter_ = 0;
            phase_ = Phase::Hold;
        } else {
            level_ = 1.0f;
            phase_ = Phase::Attack;
            step_ = voice::stepPerTick(10.0f, attackTicks_);
        }
        break;
    case Phase::Attack:
        level_ += step_;
        if (level_ >= 10.0f) {
            level_ = 0.0f;
            counter_ = 0;
            phase_ = Phase::Hold;
        }
        break;
    case Phase::Hold:
        if (counter_ < holdTicks_) {
            ++counter_;
        } else if (sustain_ == 0) {
            phase_ = Phase::Sustain;
        } else {
            phase_ = Phase::Decay;
            step_ = voice::stepPerTick(1000.0f, decayTicks_);
        }
        break;
    case Phase::Decay:
        level_ += step_;
        if (level_ >= static_cast<float>(sustain_)) {
            level_ = static_cast<float>(sustain_);
            phase_ = Phase::Sustain;
        }
        break;
    case Phase::Release:
        level_ += step_;
        if (level_ >= 1000.0f) {
            level_ = 1000.0f;
            phase_ = Phase::Finished;
        }
        break;
    case Phase::Sustain:
    case Phase::Finished:
        break;
    }
}

void VolumeEnvelope::release() noexcept {
    if (phase_ == Phase::Attack) {
        level_ = 1000.0f - 1000.0f * std::log10(level_);
        phase_ = Phase::Release;
    } else if (phase_ < Phase::Release) {
        phase_ = Phase::Release;
    }
    step_ = voice::stepPerTick(1000.0f, releaseTicks_);
}

} // namespace korvelt
