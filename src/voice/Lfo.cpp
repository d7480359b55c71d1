#include "voice/Lfo.h"

#include "voice/GeneratorTable.h"
#include "voice/VoiceMath.h"

#include <cmath>

namespace korvelt {

void Lfo::applyGenerator(const Generator& generator, bool additive) noexcept {
    switch (generator.oper) {
    case gen::DelayModLfo:
    case gen::DelayVibLfo:
        applyGeneratorAmount(delay_, generator, additive);
        break;
    case gen::FreqModLfo:
    case gen::FreqVibLfo:
        applyGeneratorAmount(frequency_, generator, additive);
        break;
    default:
        break;
    }
}

void Lfo::prepare() noexcept {
    // A delay of exactly 0 timecents keeps the delay ticks as they are (no delay).
    if (delay_ != 0)
        delayTicks_ = delay_ == -32768 ? 0 : voice::timecentsToTicks(delay_);
    const double frequency = 8.176 * std::exp2(frequency_ / 1200.0);
    // A full cycle travels 4 units (0, +1, -1, 0).
    step_ = static_cast<float>(4.0 * frequency / voice::kTicksPerSecond);
}

void Lfo::tick() noexcept {
    switch (phase_) {
    case Phase::Delay:
        if (counter_ < delayTicks_)
            ++counter_;
        else
            phase_ = Phase::Rising;
        break;
    case Phase::Rising:
        value_ += step_;
        if (value_ >= 1.0f) {
            value_ = 1.0f;
            phase_ = Phase::Falling;
        }
        break;
    case Phase::Falling:
        value_ -= step_;
        if (value_ < -1.0f) {
            value_ = -1.0f;
            phase_ = Phase::Rising;
        }
        break;
    }
}

} // namespace korvelt
