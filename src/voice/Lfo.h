#pragma once

#include "bank/BankRecords.h"

#include <cstdint>

namespace korvelt {

// A triangle low-frequency oscillator from -1 to +1, starting at 0 and rising first after
// its delay. Advanced once per control tick. The voice has two: the modulation LFO
// (generators 21 and 22) and the vibrato LFO (generators 23 and 24).
class Lfo {
public:
    enum class Phase : std::int32_t { Delay = 0, Rising = 1, Falling = 2 };

    // Generator 21 or 23 sets the delay, 22 or 24 the frequency.
    void applyGenerator(const Generator& generator, bool additive) noexcept;
    void prepare() noexcept;
    void reset() noexcept {
        value_ = 0.0f;
        phase_ = Phase::Delay;
        counter_ = 0;
    }
    void tick() noexcept;

    float value() const noexcept { return value_; }
    Phase phase() const noexcept { return phase_; }
    float step() const noexcept { return step_; }
    std::int32_t delayTicks() const noexcept { return delayTicks_; }

private:
    float value_ = 0.0f;
    std::int32_t delay_ = -12000; // timecents
    std::int32_t frequency_ = 0;  // absolute cents; 0 is 8.176 Hz
    Phase phase_ = Phase::Delay;
    float step_ = 0.0f;
    std::int32_t delayTicks_ = 0;
    std::int32_t counter_ = 0;
};

} // namespace korvelt
