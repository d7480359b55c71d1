#include "voice/LowPassFilter.h"

#include "voice/GeneratorTable.h"
#include "voice/Lfo.h"
#include "voice/ModulationEnvelope.h"
#include "voice/VoiceMath.h"

#include <cmath>
#include <cstdlib>
#include <numbers>

namespace korvelt {

namespace {

constexpr float kHighestCutoff = 20000.0f;

// Hz per unit of modulator for a depth in cents: how far the cutoff moves when the
// modulator is at 1.
float swing(float cutoff, std::int32_t cents) {
    if (cents == 0)
        return 0.0f;
    const double hz = cutoff * (std::exp2(std::abs(double(cents)) / 1200.0) - 1.0);
    return static_cast<float>(cents < 0 ? -hz : hz);
}

} // namespace

void LowPassFilter::applyGenerator(const Generator& generator, bool additive) noexcept {
    std::int32_t* field = nullptr;
    switch (generator.oper) {
    case gen::InitialFilterFc:
        field = &initialCutoff_;
        break;
    case gen::InitialFilterQ:
        field = &resonance_;
        break;
    case gen::ModLfoToFilterFc:
        field = &modLfoToCutoff_;
        break;
    case gen::ModEnvToFilterFc:
        field = &modEnvToCutoff_;
        break;
    default:
        return;
    }
    applyGeneratorAmount(*field, generator, additive);
}

void LowPassFilter::start(int velocity) noexcept {
    if (initialCutoff_ >= 13500 && resonance_ == 0) {
        cutoff_ = 0.0f;
        return;
    }
    // Low velocities lower the cutoff: velocity 1 by 2362 cents.
    const std::int64_t c = initialCutoff_ + (std::int64_t(velocity) - 127) * 2400 / 128;
    const double magnitude = std::abs(double(c));
    const double hz = c > 6900 ? 440.0 * std::exp2((magnitude - 6900.0) / 1200.0)
                               : 440.0 / std::exp2((6900.0 - magnitude) / 1200.0);
    cutoff_ = static_cast<float>(hz);
    if (cutoff_ > kHighestCutoff)
        cutoff_ = 0.0f;
    if (!(cutoff_ > 0.0f)) {
        cutoff_ = 0.0f;
        return;
    }
    resonanceFactor_ = resonance_ > 0 ? static_cast<float>(1.0 + resonance_ / 10.0) : 1.0f;
    modLfoSwing_ = swing(cutoff_, modLfoToCutoff_);
    modEnvSwing_ = swing(cutoff_, modEnvToCutoff_);
    y_ = 0.0;
    v_ = 0.0;
    computeCoefficients(cutoff_);
    lastCutoff_ = cutoff_;
}

void LowPassFilter::computeCoefficients(double frequency) noexcept {
    omega_ = frequency * 2.0 * std::numbers::pi / voice::kOutputRate;
    const double q = resonanceFactor_ + 0.5 / (omega_ + 1.0);
    k_ = 1.0 - omega_ / (omega_ + 2.0 * q - 2.0);
    k2_ = k_ * k_;
    a_ = 1.0 + k2_ - 2.0 * k_ * std::cos(omega_);
}

void LowPassFilter::updateCutoff() noexcept {
    float s = 0.0f;
    if (modLfoSwing_ != 0.0f)
        s = modLfoSwing_ * modulationLfo_.value();
    if (modEnvSwing_ != 0.0f)
        s += modEnvSwing_ * modulationEnvelope_.level();
    // Modulation only raises the cutoff; a sum at or below zero keeps the last coefficients.
    if (!(s > 0.0f))
        return;
    const float f = cutoff_ + s;
    if (f == lastCutoff_)
        return;
    if (f > 0.0f && f < kHighestCutoff)
        computeCoefficients(f);
    lastCutoff_ = f;
}

} // namespace korvelt
