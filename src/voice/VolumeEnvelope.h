#pragma once

#include "bank/BankRecords.h"
#include "voice/EnvelopePhase.h"

#include <cmath>
#include <cstdint>

namespace korvelt {

// A six-phase envelope of attenuation in centibels (0 = full level, 1000 = silence) for
// the amplifier. The attack is a ramp from 1 to 10 read through 1000 x (1 - log10), so it
// rises like ((1 + 9t)/10)^5 in amplitude; decay and release are straight lines in
// centibels. Reaching Finished ends the voice. Advanced once per control tick.
class VolumeEnvelope {
public:
    // The longest release, in timecents.
    static constexpr std::int32_t kLongestRelease = 8000;

    using Phase = EnvelopePhase;

    // Generators 33-40; set when absolute, added when additive.
    void applyGenerator(const Generator& generator, bool additive) noexcept;
    void prepare() noexcept;
    void start(int key) noexcept;
    void tick() noexcept;
    void release() noexcept;

    // The current attenuation in centibels.
    float attenuation() const noexcept {
        return phase_ == Phase::Attack ? 1000.0f - 1000.0f * std::log10(level_) : level_;
    }
    Phase phase() const noexcept { return phase_; }
    bool isFinished() const noexcept { return phase_ == Phase::Finished; }
    // In Attack the ramp value 1...10, otherwise the attenuation.
    float level() const noexcept { return level_; }
    std::int32_t sustain() const noexcept { return sustain_; }
    std::int32_t delayTicks() const noexcept { return delayTicks_; }
    std::int32_t attackTicks() const noexcept { return attackTicks_; }
    std::int32_t holdTicks() const noexcept { return holdTicks_; }
    std::int32_t decayTicks() const noexcept { return decayTicks_; }
    std::int32_t releaseTicks() const noexcept { return releaseTicks_; }

private:
    Phase phase_ = Phase::Delay;
    float level_ = 1000.0f;
    std::int32_t delay_ = -12000;
    std::int32_t attack_ = -12000;
    std::int32_t hold_ = -12000;
    std::int32_t decay_ = -12000;
    std::int32_t sustain_ = 0; // centibels of attenuation
    std::int32_t release_ = -12000;
    std::int32_t keyToHold_ = 0;
    std::int32_t keyToDecay_ = 0;
    float step_ = 0.0f;
    std::int32_t delayTicks_ = 0;
    std::int32_t attackTicks_ = 0;
    std::int32_t decayTicks_ = 0;
    std::int32_t releaseTicks_ = 0;
    std::int32_t holdTicks_ = 0;
    std::int32_t counter_ = 0;
};

} // namespace korvelt
