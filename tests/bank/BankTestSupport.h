#pragma once

#include "bank/SampleStore.h"
#include "platform/Notifier.h"
#include "support/Sf2Builder.h"

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace korvelt::test {

// Signals that exercise the coder in different ways.
inline std::vector<std::int16_t> sine(std::size_t n, double period, double amplitude = 12000.0) {
    std::vector<std::int16_t> out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] =
            static_cast<std::int16_t>(amplitude * std::sin(6.283185307179586 * double(i) / period));
    return out;
}

inline std::vector<std::int16_t> noise(std::size_t n, std::uint32_t seed, int amplitude = 32767) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> dist(-amplitude - 1, amplitude);
    std::vector<std::int16_t> out(n);
    for (auto& s : out)
        s = static_cast<std::int16_t>(dist(rng));
    return out;
}

// A decaying tone with a little noise, like a recorded instrument.
inline std::vector<std::int16_t> tone(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> hiss(0.0, 30.0);
    std::vector<std::int16_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double env = std::exp(-double(i) / double(n / 3 + 1));
        const double v =
            env * (9000.0 * std::sin(0.031 * double(i)) + 3000.0 * std::sin(0.117 * double(i))) +
            hiss(rng);
        out[i] = static_cast<std::int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
    }
    return out;
}

// A small bank with every level filled: two presets of bank 0, a drum kit in bank 128,
// three instruments with several zones, and samples of different kinds.
inline Sf2Builder smallBank() {
    Sf2Builder b;
    const int sineSample = b.addSample(
        {.name = "Sine", .frames = sine(1500, 50.0), .loopStart = 100, .loopEnd = 1400});
    const int toneSample = b.addSample({.name = "Tone", .frames = tone(3000, 7)});
    const int noiseSample = b.addSample({.name = "Noise", .frames = noise(400, 11)});
    std::vector<std::int16_t> quiet(600, 0);
    quiet[300] = 5;
    const int quietSample = b.addSample({.name = "Quiet", .frames = quiet});
    const int lead = b.addInstrument(
        "Lead", {Sf2Builder::globalZone({gen(sfgen::kPan, -200)}),
                 Sf2Builder::instrumentZone(sineSample, {keyRange(0, 63)}),
                 Sf2Builder::instrumentZone(toneSample, {keyRange(64, 127), velRange(1, 100)})});
    const int kit =
        b.addInstrument("Kit", {Sf2Builder::instrumentZone(noiseSample, {keyRange(35, 40)}),
                                Sf2Builder::instrumentZone(quietSample, {keyRange(41, 50)})});
    const int pad = b.addInstrument("Pad", {Sf2Builder::instrumentZone(toneSample)});
    b.addPreset("Lead", 0, 0, {Sf2Builder::presetZone(lead, {gen(sfgen::kCoarseTune, 2)})});
    b.addPreset("Pad and lead", 0, 5, {Sf2Builder::presetZone(pad), Sf2Builder::presetZone(lead)});
    b.addPreset("Standard kit", 128, 0, {Sf2Builder::presetZone(kit)});
    return b;
}

// The message texts of both readers.
inline const char* const kSf2OpenFailed =
    "Csf2file::rdfile\nFatal error while reading Sound Font file\nCould not open Sound Font file";
inline const char* const kSf2Invalid =
    "Csf2file::rdfile\nFatal error while reading Sound Font file\nInvalid Sound Font file format";
inline const char* const kCsfOpenFailed =
    "Ccompsf::rdfile\nFatal error while reading SoundFont file\nCould not open SoundFont file";
inline const char* const kCsfTooRecent = "Ccompsf::rdfile\nThis SoundFont can only be "
                                         "processed\nby a more recent version of the program";
inline const char* const kCsfInvalid =
    "Ccompsf::rdfile\nFatal error while reading SoundFont file\nInvalid SoundFont file format";

// A store with a clock the test sets, and a recorder for the messages of its loads.
struct StoreFixture {
    explicit StoreFixture(std::uint64_t budget = std::uint64_t(1) << 32)
        : store(budget, [this] { return now; }) {}
    // Loads as a render does that shows its data errors (showErrors) or not.
    std::int64_t load(SampleHeader& sample) {
        return store.loadSample(sample, showErrors ? &notifier : nullptr);
    }
    bool showErrors = false;
    RecordingNotifier notifier;
    std::int64_t now = 1000;
    SampleStore store;
};

} // namespace korvelt::test
