#pragma once

#include "bank/BankRecords.h"
#include "bank/SampleStore.h"
#include "effects/MixBus.h"
#include "engine/RenderOptions.h"
#include "platform/Notifier.h"
#include "voice/Voice.h"
#include "voice/VoiceServices.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace korvelt::test {

// A sample held in memory, already resident (the store then only stamps it).
inline SampleHeader makeSample(const std::vector<std::int16_t>& frames, std::uint32_t rate = 44100,
                               std::uint8_t originalPitch = 60, std::int32_t loopStart = 0,
                               std::int32_t loopEnd = 0) {
    SampleHeader sample;
    const auto n = static_cast<std::int32_t>(frames.size());
    sample.playLength = n;
    sample.storedLength = n;
    sample.loopStart = loopStart;
    sample.loopEnd = loopEnd;
    sample.sampleRate = rate;
    sample.originalPitch = originalPitch;
    sample.data.reset(new std::int16_t[frames.size() + SampleHeader::kPaddingFrames]());
    for (std::size_t i = 0; i < frames.size(); ++i)
        sample.data[i] = frames[i];
    sample.residentLength = n;
    sample.residentFor = n;
    return sample;
}

// A ramp 0, step, 2 step, ... of n frames.
inline std::vector<std::int16_t> ramp(int n, int step = 100, int first = 0) {
    std::vector<std::int16_t> frames(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        frames[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(first + i * step);
    return frames;
}

inline std::vector<Generator> gens(std::initializer_list<std::pair<int, int>> list) {
    std::vector<Generator> out;
    for (auto [oper, amount] : list)
        out.push_back(
            Generator{static_cast<std::uint16_t>(oper), static_cast<std::int16_t>(amount)});
    return out;
}

inline std::vector<Generator> concat(std::vector<Generator> a, const std::vector<Generator>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Everything a voice needs from the process.
struct VoiceRig {
    RenderOptions options;
    RecordingNotifier notifier;
    SampleStore store{std::uint64_t(1) << 32, [] { return std::int64_t(1); }};
    std::unique_ptr<MixBus> bus = std::make_unique<MixBus>();
    std::atomic<bool> abortRequested{false};
    VoiceServices services{options, notifier, store, *bus, abortRequested};

    // A voice with the given instrument-level generators, prepared.
    std::unique_ptr<Voice> voice(SampleHeader& sample,
                                 const std::vector<Generator>& instrument = {},
                                 const std::vector<Generator>& preset = {}) {
        auto v = std::make_unique<Voice>(sample, services);
        v->applyGenerators(instrument, false);
        v->applyGenerators(preset, true);
        v->prepare();
        return v;
    }

    // Starts a note with neutral channel settings.
    static void play(Voice& v, int key = 60, int velocity = 127, bool keyTracking = true) {
        v.start(key, velocity, 0.0f, 0, 0, 0, 2000, keyTracking, false);
    }

    float at(int buffer, int frame) const { return bus->buffer(buffer)[frame]; }
};

// Generators that make the volume envelope reach full level on the first tick and stay
// there: no delay, no attack.
inline std::vector<Generator> instantVolume() {
    return gens({{33, -32768}, {34, -32768}});
}

} // namespace korvelt::test
