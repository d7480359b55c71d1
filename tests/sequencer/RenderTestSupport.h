#pragma once

// Renders small MIDI files with small banks into WAVE files through the render entry point,
// as a conversion does, and reads the result back for sample-exact checks.

#include "app/RenderEngine.h"
#include "audio/Cwavfil.h"
#include "bank/SoundBank.h"
#include "engine/MemorySink.h"
#include "engine/RenderOptions.h"
#include "midi/Cmidfil.h"
#include "midi/MidiFileWriter.h"
#include "platform/Notifier.h"
#include "sequencer/Render.h"
#include "sequencer/RenderJob.h"
#include "sequencer/SequencerContext.h"
#include "support/Sf2Builder.h"
#include "support/TempDir.h"
#include "support/WaveData.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvelt::test {

// Volume envelope generators.
inline constexpr std::uint16_t kDelayVolEnv = 33;
inline constexpr std::uint16_t kAttackVolEnv = 34;
inline constexpr std::uint16_t kReleaseVolEnv = 38;

// A zone that sounds at full level from its second control block on and stops at once
// when released: delay and attack of 0 ticks, release of 0 ticks.
inline std::vector<GenSpec> instantEnvelope() {
    return {gen(kDelayVolEnv, -32768), gen(kAttackVolEnv, -32768), gen(kReleaseVolEnv, -32768)};
}

// A bank with one preset (bank 0, program 0) and one drum kit (bank 128, program 0), each
// playing `frames` over every key, root key 60, at 44100 Hz, with the instant envelope.
inline std::string simpleBank(const std::vector<std::int16_t>& frames) {
    Sf2Builder b;
    const int s = b.addSample({.name = "Tone", .frames = frames});
    const int tone = b.addInstrument("Tone", {Sf2Builder::instrumentZone(s, instantEnvelope())});
    b.addPreset("Tone", 0, 0, {Sf2Builder::presetZone(tone)});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(tone)});
    return b.build();
}

// A ramp that never holds a zero frame, so the onset of a note is its first non-zero frame.
inline std::vector<std::int16_t> rampFrames(std::size_t n) {
    std::vector<std::int16_t> frames(n);
    for (std::size_t i = 0; i < n; ++i)
        frames[i] = static_cast<std::int16_t>(2000 + (i * 7) % 12000);
    return frames;
}

// What a render wrote, read back from its WAVE file, with the peak the writer kept.
struct RenderedWave : WaveData {
    int peak = 0;
};

// Everything one render needs, with the options set for exact numbers: no compressor, no
// delay, master volume 0 dB.
class RenderRig {
public:
    RenderRig() {
        options.compressorLevel = 0;
        options.delayAmount = 0.0f;
        engine = std::make_unique<RenderEngine>(options);
    }

    // Writes the files, loads them and runs the render job `runs` times into the same
    // WAVE file name; returns what the last run wrote.
    RenderedWave render(const std::string& bankBytes, const std::string& midiBytes,
                        const std::string& bankName = "bank.sf2", int runs = 1) {
        const std::string bankPath = dir.write(bankName, bankBytes);
        return renderWithBank(bankPath, dir.write("song.mid", midiBytes), runs);
    }

    RenderedWave renderWithBank(const std::string& bankPath, const std::string& midiPath,
                                int runs = 1) {
        auto bank = makeSoundBank(bankPath, notifier, engine->store);
        bank->rdfile();
        Cmidfil midi(midiPath, notifier);
        midi.rdmidi();
        RenderJob job(midi);
        const std::string wavePath = dir.file("out.wav");
        for (int run = 0; run < runs; ++run) {
            Cwavfil wave(wavePath, notifier);
            wave.openwr();
            progress.clear();
            lastOutcome = korvelt::render(job, engine->rack, request(*bank, wave));
            wave.close();
            lastPeak = wave.peak();
        }
        RenderedWave w{readWave(wavePath)};
        w.peak = lastPeak;
        return w;
    }

    // A render of `bank` into `sink` with the rig's options, messages, abort flag and
    // progress list.
    RenderRequest request(Csf2file& bank, FrameSink& sink) {
        return RenderRequest{bank,
                             options,
                             sink,
                             notifier,
                             engine->abortRequested,
                             [this](int p) { progress.push_back(p); }};
    }

    // What a render with `bank` hands down to channels, presets and voices, for the tests
    // that play a channel or a preset by itself.
    SequencerContext context(Csf2file& bank) {
        return SequencerContext{options,
                                notifier,
                                bank,
                                VoiceServices{options, notifier, engine->store,
                                              engine->rack.mixBus(), engine->abortRequested},
                                {}};
    }

    TempDir dir;
    RenderOptions options;
    RecordingNotifier notifier;
    std::unique_ptr<RenderEngine> engine;
    std::vector<int> progress;
    int lastPeak = 0;
    RenderOutcome lastOutcome = RenderOutcome::Finished;
};

} // namespace korvelt::test
