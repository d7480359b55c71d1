#pragma once

#include "bank/BankRecords.h"

#include <cstdint>
#include <limits>

namespace korvelt {

class Lfo;
class VolumeEnvelope;

// Turns everything that sets a voice's loudness into one linear gain per control block:
// initial attenuation, velocity, the channel's attenuation (smoothed), the volume
// envelope, tremolo and the soft pedal, all added in centibels.
class Amplifier {
public:
    // Fixed step by which the static attenuation follows a channel change, per block; the
    // last step lands on the target and the attenuation stays there.
    static constexpr float kSmoothingStep = 1.741f;

    Amplifier(const Lfo& modulationLfo, const VolumeEnvelope& volumeEnvelope) noexcept
        : modulationLfo_(modulationLfo), volumeEnvelope_(volumeEnvelope) {}

    // Generators 13 and 48.
    void applyGenerator(const Generator& generator, bool additive) noexcept;
    void start(float channelAttenuation, int velocity, bool softPedal) noexcept;
    // Once per block, before the block's frames.
    void updateGain() noexcept;
    void setChannelAttenuation(float centibels) noexcept;

    float gain() const noexcept { return gain_; }
    float velocityAttenuation() const noexcept { return velocityAttenuation_; }
    float currentAttenuation() const noexcept { return currentAttenuation_; }
    float targetAttenuation() const noexcept { return targetAttenuation_; }
    float channelAttenuation() const noexcept { return channelAttenuation_; }

private:
    float staticAttenuation(float channelAttenuation) const noexcept;

    float gain_ = 1.0f;
    const Lfo& modulationLfo_;
    const VolumeEnvelope& volumeEnvelope_;
    std::int32_t modLfoToVolume_ = 0;     // centibels
    std::int32_t initialAttenuation_ = 0; // centibels
    float velocityAttenuation_ = 0.0f;
    float currentAttenuation_ = 0.0f;
    float channelAttenuation_ = 0.0f;
    float targetAttenuation_ = 0.0f;
    bool softPedal_ = false;
    // The total attenuation the gain was last computed for (NaN: none yet).
    float lastTotal_ = std::numeric_limits<float>::quiet_NaN();
};

} // namespace korvelt
