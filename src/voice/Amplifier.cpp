#include "voice/Amplifier.h"

#include "voice/GeneratorTable.h"
#include "voice/Lfo.h"
#include "voice/VolumeEnvelope.h"

#include <cmath>
#include <cstdlib>

namespace korvelt {

namespace {
// Totals below this are taken as this, so that the gain stays a finite float (+600 dB is
// far beyond anything a bank means; it only guards against absurd generator amounts).
constexpr float kLowestAttenuation = -6000.0f;
} // namespace

void Amplifier::applyGenerator(const Generator& generator, bool additive) noexcept {
    if (generator.oper == gen::ModLfoToVolume)
        applyGeneratorAmount(modLfoToVolume_, generator, additive);
    else if (generator.oper == gen::InitialAttenuation)
        applyGeneratorAmount(initialAttenuation_, generator, additive);
}

void Amplifier::start(float channelAttenuation, int velocity, bool softPedal) noexcept {
    channelAttenuation_ = channelAttenuation;
    // 200 x log10(127 / v): 0 cB at 127, about 59.5 cB at 64.
    const double v = velocity;
    velocityAttenuation_ =
        velocity != 0 ? static_cast<float>(-100.0 * std::log10(v * v / 16129.0)) : 0.0f;
    softPedal_ = softPedal;
    currentAttenuation_ = targetAttenuation_ = staticAttenuation(channelAttenuation);
}

void Amplifier::setChannelAttenuation(float centibels) noexcept {
    channelAttenuation_ = centibels;
    targetAttenuation_ = staticAttenuation(centibels);
}

// The same sum at note start and on every channel change, in the same order, so that a
// channel repeating its attenuation lands exactly on the current value instead of one
// rounding step beside it (which would cost a smoothing step and move the level).
float Amplifier::staticAttenuation(float channelAttenuation) const noexcept {
    return (static_cast<float>(initialAttenuation_) + velocityAttenuation_) + channelAttenuation;
}

void Amplifier::updateGain() noexcept {
    // Fixed steps toward the target; the last step, at most one step long, lands on it, so
    // the level settles instead of flipping from one side of the target to the other
    // every block (a square-wave ripple at 1102.5 Hz on every sustained note).
    if (currentAttenuation_ != targetAttenuation_) {
        if (std::abs(targetAttenuation_ - currentAttenuation_) <= kSmoothingStep)
            currentAttenuation_ = targetAttenuation_;
        else if (currentAttenuation_ > targetAttenuation_)
            currentAttenuation_ -= kSmoothingStep;
        else
            currentAttenuation_ += kSmoothingStep;
    }
    float t = volumeEnvelope_.attenuation() + currentAttenuation_;
    if (modLfoToVolume_ != 0)
        t -= static_cast<float>(std::abs(double(modLfoToVolume_))) * modulationLfo_.value();
    if (softPedal_)
        t = 2.0f * t;
    if (t == lastTotal_)
        return; // the gain of the same total is already there (the usual case in sustain)
    lastTotal_ = t;
    if (t < 1000.0f) {
        if (t < kLowestAttenuation)
            t = kLowestAttenuation;
        gain_ = std::pow(10.0f, -t / 200.0f);
    } else {
        gain_ = 0.0f; // 100 dB and more is silence (and so is NaN)
    }
}

} // namespace korvelt
