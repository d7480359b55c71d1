#pragma once

#include <cstdint>

namespace korvelt {

// The phases of both envelopes, in the order they run.
enum class EnvelopePhase : std::int32_t {
    Delay = 0,
    Attack = 1,
    Hold = 2,
    Decay = 3,
    Sustain = 4,
    Release = 5,
    Finished = 6,
};

} // namespace korvelt
