#pragma once

#include "voice/VoiceServices.h"

#include <atomic>
#include <cstdint>

namespace korvelt {

class Csf2file;
class MixBus;
class Notifier;
struct RenderOptions;

// The tick-to-frame rates of the current tempo, recomputed at every tempo change.
struct TickRates {
    double framesPerTick = 0.0;
    double ticksPerFrame = 0.0;
};

// Where the render is at work, for the messages it raises: the channel whose events and
// voices are being played (-1 between channels) and the first frame of the block being
// filled; the mix bus's block offset adds the frame within the block.
struct RenderPlace {
    int channel = -1;
    std::int64_t blockStartFrame = 0;
};

// Everything the channels, presets and zones of one render use, handed down by reference:
// the render options, the message interface, the bank, the services the voices need (sample store,
// mix bus, abort flag) and the current tick rates.
struct SequencerContext {
    const RenderOptions& options;
    Notifier& notifier;
    Csf2file& bank;
    VoiceServices voices;
    TickRates rates;
    RenderPlace place{};

    MixBus& bus() const noexcept { return voices.bus; }
    bool aborted() const noexcept { return voices.abortRequested.load(std::memory_order_relaxed); }
};

} // namespace korvelt
