// Whole renders of a dense synthetic passage: 64 or 256 voices sounding at once (held
// looped notes spread over channels and keys, some filtered, some with vibrato), through
// the render entry point: the sequencer, the voices, the effects rack and the WAVE writer.
// Reports voices per second (voice-frames rendered per second of CPU) and the real-time
// factor.

#include "app/RenderEngine.h"
#include "audio/Cwavfil.h"
#include "bank/SoundBank.h"
#include "engine/RenderOptions.h"
#include "midi/Cmidfil.h"
#include "midi/MidiFileWriter.h"
#include "platform/Notifier.h"
#include "sequencer/Render.h"
#include "sequencer/RenderJob.h"

#include "../tests/support/Sf2Builder.h"
#include "../tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace korvelt {
namespace {

using test::gen;
using test::Sf2Builder;

// Sixteen melodic presets and a kit; each instrument loops a one-second tone at 32000 Hz
// (so every note is interpolated); every fourth is filtered, every third has vibrato.
std::string denseBank() {
    Sf2Builder b;
    std::vector<std::int16_t> tone(32000);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] =
            static_cast<std::int16_t>(9000 * std::sin(i * 0.0345) + 3000 * std::sin(i * 0.31));
    const int sample = b.addSample(
        {.name = "Tone", .frames = tone, .loopStart = 2000, .loopEnd = 30000, .sampleRate = 32000});
    for (int p = 0; p < 16; ++p) {
        std::vector<test::GenSpec> g = {gen(54, 1), gen(38, -2400)}; // looped, 0.25 s release
        if (p % 4 == 1) {
            g.push_back(gen(8, 4000)); // filter
            g.push_back(gen(9, 50));
        }
        if (p % 3 == 2) {
            g.push_back(gen(6, 30)); // vibrato
            g.push_back(gen(24, 300));
        }
        const int inst = b.addInstrument("Tone", {Sf2Builder::instrumentZone(sample, g)});
        b.addPreset("Tone", 0, static_cast<std::uint16_t>(p), {Sf2Builder::presetZone(inst)});
    }
    return b.build();
}

// `voices` notes held together for 10 seconds, spread over 15 channels and many keys.
std::string densePassage(int voices) {
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.tempo(0, 500000);
    const int perChannel = voices / 15; // channels 1-16 but 10
    for (int c = 0; c < 16; ++c) {
        if (c == 9)
            continue;
        t.programChange(0, c, c);
        t.controlChange(0, c, 91, 40);
        t.controlChange(0, c, 10, 16 + 6 * c);
    }
    int placed = 0;
    for (int c = 0; c < 16 && placed < voices; ++c) {
        if (c == 9)
            continue;
        for (int k = 0; k < perChannel + 1 && placed < voices; ++k, ++placed)
            t.note(std::uint32_t(k) * 3, 9600, c, 24 + k * 4 + c % 4, 90); // distinct keys
    }
    return midi.bytes();
}

void renderDense(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    test::TempDir dir;
    const std::string bankPath = dir.write("dense.sf2", denseBank());
    const std::string midiPath = dir.write("dense.mid", densePassage(voices));
    RenderOptions options;
    RecordingNotifier notifier;
    RenderEngine engine(options);
    auto bank = makeSoundBank(bankPath, notifier, engine.store);
    bank->rdfile();
    Cmidfil midi(midiPath, notifier);
    midi.rdmidi();
    RenderJob job(midi);
    double audioSeconds = 0;
    for (auto _ : state) {
        Cwavfil out(dir.file("dense.wav"), notifier);
        out.openwr();
        render(job, engine.rack,
               RenderRequest{*bank, options, out, notifier, engine.abortRequested});
        out.close();
        audioSeconds += double(out.frames()) / 44100.0;
    }
    state.counters["realtime_x"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    // `voices` voices sound for the 10.25 seconds of notes and their release.
    state.counters["voice_frames_per_s"] = benchmark::Counter(
        double(voices) * 10.25 * 44100.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(renderDense)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace korvelt
