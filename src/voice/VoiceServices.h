#pragma once

#include <atomic>

namespace korvelt {

struct RenderOptions;
class Notifier;
class SampleStore;
class MixBus;

// What a voice uses of its render: the live options (reverbAmount, chorusAmount,
// showMidiErrors), where bank errors are reported, the sample store that makes sample data
// resident, the mix bus the voice adds into (at mixPosition, advancing it), and the abort
// flag of the render.
struct VoiceServices {
    const RenderOptions& options;
    Notifier& notifier;
    SampleStore& store;
    MixBus& bus;
    const std::atomic<bool>& abortRequested;
};

} // namespace korvelt
