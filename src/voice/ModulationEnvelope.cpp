#include "voice/ModulationEnvelope.h"

#include "voice/GeneratorTable.h"
#include "voice/VoiceMath.h"

#include <algorithm>
#include <cmath>

namespace korvelt {

namespace {
// The timecents value that means "no time at all" for delay, attack and hold.
constexpr std::int32_t kNoTime = -32768;
} // namespace

void ModulationEnvelope::applyGenerator(const Generator& generator, bool additive) noexcept {
    std::int32_t* field = nullptr;
    switch (generator.oper) {
    case gen::DelayModEnv:
        field = &delay_;
        break;
    case gen::AttackModEnv:
        field = &attack_;
        break;
    case gen::HoldModEnv:
        field = &hold_;
        break;
    case gen::DecayModEnv:
        field = &decay_;
        break;
    case gen::SustainModEnv:
        field = &sustain_;
        break;
    case gen::ReleaseModEnv:
        field = &release_;
        break;
    case gen::KeynumToModEnvHold:
        field = &keyToHold_;
        break;
    case gen::KeynumToModEnvDecay:
        field = &keyToDecay_;
        break;
    default:
        return;
    }
    applyGeneratorAmount(*field, generator, additive);
}

void ModulationEnvelope::prepare() noexcept {
    delayTicks_ = delay_ == kNoTime ? 0 : voice::timecentsToTicks(delay_);
    attackTicks_ = attack_ == kNoTime ? 0 : voice::timecentsToTicks(attack_);
    sustain_ = std::clamp(sustain_, 0, 1000);
    sustainLevel_ = static_cast<float>((1000 - sustain_) * 0.001);
    releaseStep_ =
        static_cast<float>(1.0 / (std::exp2(release_ / 1200.0) * voice::kTicksPerSecond));
}

void ModulationEnvelope::start(int key) noexcept {
    level_ = 0.0f;
    phase_ = Phase::Delay;
    counter_ = 0;
    holdTicks_ = hold_ == kNoTime ? 0 : voice::keyScaledTicks(hold_, keyToHold_, key);
    decayTicks_ = voice::keyScaledTicks(decay_, keyToDecay_, key);
}

void ModulationEnvelope::tick() noexcept {
    switch (phase_) {
    case Phase::Delay:
        if (counter_ < delayTicks_) {
            ++counter_;
        } else if (attackTicks_ == 0) {
            level_ = 1.0f;
            counter_ = 0;
            phase_ = Phase::Hold;
        } else {
            phase_ = Phase::Attack;
            step_ = voice::stepPerTick(1.0f, attackTicks_);
        }
        break;
    case Phase::Attack:
        level_ += step_;
        if (level_ >= 1.0f) {
            level_ = 1.0f;
            counter_ = 0;
            phase_ = Phase::Hold;
        }
        break;
    case Phase::Hold:
        if (counter_ < holdTicks_) {
            ++counter_;
        } else if (sustainLevel_ == 1.0f) {
            phase_ = Phase::Sustain;
        } else {
            phase_ = Phase::Decay;
            step_ = voice::stepPerTick(1.0f, decayTicks_);
        }
        break;
    case Phase::Decay:
        level_ -= step_;
        if (level_ <= sustainLevel_) {
            level_ = sustainLevel_;
            phase_ = Phase::Sustain;
        }
        break;
    case Phase::Release:
        level_ -= releaseStep_;
        if (level_ <= 0.0f) {
            level_ = 0.0f;
            phase_ = Phase::Finished;
        }
        break;
    case Phase::Sustain:
    case Phase::Finished:
        break;
    }
}

void ModulationEnvelope::release() noexcept {
    if (phase_ < Phase::Release)
        phase_ = Phase::Release;
}

} // namespace korvelt
