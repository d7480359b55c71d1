#pragma once

#include "bank/BankRecords.h"
#include "voice/EnvelopePhase.h"

#include <cstdint>

namespace korvelt {

// A linear six-phase envelope from 0 to 1 that bends pitch and moves the filter cutoff.
// Advanced once per control tick.
class ModulationEnvelope {
public:
    using Phase = EnvelopePhase;

    // Generators 25-32; set when absolute, added when additive.
    void applyGenerator(const Generator& generator, bool additive) noexcept;
    // Once per voice object, after all generators.
    void prepare() noexcept;
    // Per note; key is the effective key after any key override.
    void start(int key) noexcept;
    void tick() noexcept;
    void release() noexcept;

    float level() const noexcept { return level_; }
    Phase phase() const noexcept { return phase_; }
    float sustainLevel() const noexcept { return sustainLevel_; }
    std::int32_t delayTicks() const noexcept { return delayTicks_; }
    std::int32_t attackTicks() const noexcept { return attackTicks_; }
    std::int32_t holdTicks() const noexcept { return holdTicks_; }
    std::int32_t decayTicks() const noexcept { return decayTicks_; }
    float releaseStep() const noexcept { return releaseStep_; }

private:
    Phase phase_ = Phase::Delay;
    float level_ = 0.0f;
    std::int32_t delay_ = -12000;
    std::int32_t attack_ = -12000;
    std::int32_t hold_ = -12000;
    std::int32_t decay_ = -12000;
    std::int32_t sustain_ = 0; // 0.1 % below full level
    std::int32_t release_ = -12000;
    std::int32_t keyToHold_ = 0;
    std::int32_t keyToDecay_ = 0;
    float step_ = 0.0f;
    std::int32_t delayTicks_ = 0;
    std::int32_t attackTicks_ = 0;
    float sustainLevel_ = 1.0f;
    std::int32_t decayTicks_ = 0;
    float releaseStep_ = 0.0f;
    std::int32_t holdTicks_ = 0;
    std::int32_t counter_ = 0;
};

} // namespace korvelt
