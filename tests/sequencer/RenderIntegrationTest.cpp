#include "sequencer/RenderTestSupport.h"

#include "bank/BankPacker.h"
#include "bank/Csf2file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace korvelt::test {
namespace {

// The first control block of every note is silent: its gain is computed before the volume
// envelope's first tick. So a note that starts at frame F is first heard at F + 20.
constexpr long kFirstBlock = 20;

std::string oneNote(std::uint16_t division, std::uint32_t tick, int channel = 0, int key = 60,
                    std::uint32_t length = 2000) {
    MidiFileWriter midi(division);
    auto& t = midi.addTrack();
    t.note(tick, length, channel, key, 127);
    return midi.bytes();
}

class RenderIntegration : public ::testing::Test {
protected:
    RenderRig rig;
    const std::string bank = simpleBank(rampFrames(3 * 44100));
};

TEST_F(RenderIntegration, NoteOnLandsOnTheFrameAtOrJustBeforeItsExactTime) {
    // 120 beats per minute by default: 100 ticks of a 96-tick quarter are 22968.75 frames.
    EXPECT_EQ(rig.render(bank, oneNote(96, 100)).firstSound(), 22968 + kFirstBlock);
    // 37 ticks: 8498.4375 frames.
    EXPECT_EQ(rig.render(bank, oneNote(96, 37)).firstSound(), 8498 + kFirstBlock);
}

TEST_F(RenderIntegration, NoteAtTickZeroIsHeardWithoutTheLookAheadDelay) {
    const RenderedWave w = rig.render(bank, oneNote(480, 0));
    EXPECT_EQ(w.firstSound(), kFirstBlock);
    // Volume 100 of 127 (-20.76 cB), full velocity, centre pan: 0.5 of the sample's level.
    const double gain = std::pow(10.0, -200.0 * std::log10(127.0 / 100.0) / 200.0) * 0.5;
    const int sample = rampFrames(100)[kFirstBlock];
    EXPECT_NEAR(w.samples[2 * kFirstBlock], sample * gain, 1.0);
    EXPECT_EQ(w.samples[2 * kFirstBlock], w.samples[2 * kFirstBlock + 1]);
}

TEST_F(RenderIntegration, DefaultTempoIsOneHundredTwentyBeatsPerMinuteScaledByTheTempoOption) {
    // A quarter note without a set-tempo event lasts half a second.
    EXPECT_EQ(rig.render(bank, oneNote(480, 480)).firstSound(), 22050 + kFirstBlock);
    rig.options.tempoPercent = 100; // twice as long
    EXPECT_EQ(rig.render(bank, oneNote(480, 480)).firstSound(), 44100 + kFirstBlock);
    rig.options.tempoPercent = -50; // twice as fast
    EXPECT_EQ(rig.render(bank, oneNote(480, 480)).firstSound(), 11025 + kFirstBlock);
}

TEST_F(RenderIntegration, TempoEventsChangeTheRateFromTheirTickOn) {
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.tempo(0, 500000);   // 120 beats per minute from the start
    t.tempo(480, 250000); // then 240
    t.note(960, 500, 0, 60, 127);
    EXPECT_EQ(rig.render(bank, midi.bytes()).firstSound(), 22050 + 11025 + kFirstBlock);
}

TEST_F(RenderIntegration, AMutedChannelIsSkippedEntirely) {
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.note(0, 480, 0, 60, 127);
    t.note(240, 480, 1, 64, 100);
    const std::string both = midi.bytes();
    const RenderedWave alone = rig.render(bank, oneNote(480, 0, 0, 60, 480));

    rig.options.mixer[1].muted = true;
    EXPECT_EQ(rig.render(bank, both).samples, alone.samples);
    rig.options.mixer[1].muted = false;
    EXPECT_NE(rig.render(bank, both).samples, alone.samples);
}

TEST_F(RenderIntegration, AnExpressionChangeRampsInFixedStepsThenHoldsItsLevel) {
    // A constant sample; expression 127 -> 100 (20.76 cB) half a second into the note.
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.tempo(0, 1000000); // a quarter note (480 ticks) lasts a second
    t.note(0, 720, 0, 60, 127);
    t.controlChange(240, 0, 11, 100);
    const RenderedWave w =
        rig.render(simpleBank(std::vector<std::int16_t>(3 * 44100, 10000)), midi.bytes());
    constexpr long kChange = 22050, kRelease = 66150;
    ASSERT_GT(w.frames(), std::size_t(kRelease));
    auto left = [&w](long frame) { return double(w.samples[2 * std::size_t(frame)]); };
    const double before = left(kChange - 1);
    // Eleven blocks of 20 frames, each 1.741 cB lower than the last (1.61 cB remain)...
    for (int block = 1; block <= 11; ++block) {
        const long first = kChange + 20 * (block - 1);
        EXPECT_NEAR(left(first), before * std::pow(10.0, -block * 1.741 / 200.0), 1.0) << block;
        for (long f = first; f < first + 20; ++f)
            ASSERT_EQ(left(f), left(first)) << f;
    }
    // ...then the target from the twelfth block until the release, without any ripple.
    const long settled = kChange + 11 * 20;
    EXPECT_NEAR(left(settled), before * std::pow(10.0, -20.76 / 200.0), 1.0);
    for (long f = settled; f < kRelease; ++f)
        ASSERT_EQ(left(f), left(settled)) << f;
}

TEST_F(RenderIntegration, TranspositionMovesMelodicKeysButNotPercussion) {
    const RenderedWave key72 = rig.render(bank, oneNote(480, 0, 0, 72));
    rig.options.transposeSemitones = 12;
    EXPECT_EQ(rig.render(bank, oneNote(480, 0, 0, 60)).samples, key72.samples);

    // Channel 10 plays the kit without key tracking and is never transposed.
    const RenderedWave drum = rig.render(bank, oneNote(480, 0, 9, 40));
    rig.options.transposeSemitones = 0;
    EXPECT_EQ(rig.render(bank, oneNote(480, 0, 9, 40)).samples, drum.samples);
    EXPECT_EQ(rig.render(bank, oneNote(480, 0, 9, 80)).samples, drum.samples);
    EXPECT_NE(drum.samples, key72.samples);
}

TEST_F(RenderIntegration, TrailingSilenceIsLeftOutOfTheHeader) {
    const RenderedWave w = rig.render(bank, oneNote(480, 0, 0, 60, 480));
    ASSERT_GT(w.frames(), 0u);
    // The data ends with the last sounding frame; the silent tail stays behind it.
    EXPECT_TRUE(w.samples[w.samples.size() - 2] != 0 || w.samples.back() != 0);
    EXPECT_GT(w.bytesAfterHeader, w.samples.size() * 2);
    // The note lasts half a second (a quarter note) and stops at once when released.
    EXPECT_NEAR(double(w.frames()), 22050.0 + kFirstBlock, 40.0);
}

TEST_F(RenderIntegration, ASecondRunOfTheSameFileRendersTheSame) {
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.controlChange(0, 0, 7, 80);
    t.controlChange(0, 0, 64, 127); // held by the pedal to the end
    t.note(0, 300, 0, 60, 100);
    t.note(120, 300, 0, 67, 90);
    t.controlChange(0, 0, 0, 5); // a bank that does not exist falls back to bank 0
    t.programChange(0, 0, 0);
    RenderRig twice;
    const RenderedWave once = rig.render(bank, midi.bytes());
    EXPECT_EQ(twice.render(bank, midi.bytes(), "bank.sf2", 2).samples, once.samples);
    EXPECT_GT(once.peak, 0);
}

TEST_F(RenderIntegration, ProgressCountsWholeBlocksAndEndsOnce) {
    // Seven seconds without tempo changes: two full blocks, the second found to run past
    // the end only when it is full, so it is delivered with the tail.
    MidiFileWriter midi(1);
    midi.addTrack().note(0, 14, 0, 60, 127);
    rig.render(bank, midi.bytes());
    EXPECT_EQ(rig.progress, (std::vector<int>{71, 142}));

    // A file without any channel event has no length: its progress is complete at once.
    MidiFileWriter empty(480);
    empty.addTrack().meta(0, 0x03, "Empty");
    const RenderedWave silent = rig.render(bank, empty.bytes());
    EXPECT_EQ(rig.progress, (std::vector<int>{100}));
    EXPECT_EQ(silent.peak, 0);
}

TEST_F(RenderIntegration, DegenerateTimingIsBoundedInsteadOfHanging) {
    // Division 0 and a set-tempo value of 0 would give infinite or zero rates.
    MidiFileWriter zeroDivision(0);
    zeroDivision.addTrack().note(0, 1, 0, 60, 127);
    EXPECT_GT(rig.render(bank, zeroDivision.bytes()).peak, 0);

    // At one microsecond per quarter note a tick is a few hundred-thousandths of a frame:
    // 10 million ticks later is under half a second.
    MidiFileWriter zeroTempo(480);
    auto& t = zeroTempo.addTrack();
    t.tempo(0, 0);
    t.note(0, 10000000, 0, 60, 127);
    RenderedWave w = rig.render(bank, zeroTempo.bytes());
    EXPECT_GT(w.peak, 0);
    EXPECT_LT(w.frames(), 44100u);

    rig.options.tempoPercent = -100;
    w = rig.render(bank, oneNote(480, 0, 0, 60, 10000000));
    EXPECT_GT(w.peak, 0);
    EXPECT_LT(w.frames(), 44100u);
}

TEST_F(RenderIntegration, PlannedLengthIsTheRunsTotalWithTheLongestTail) {
    MidiFileWriter midi(2);
    auto& t = midi.addTrack();
    t.tempo(0, 400000);
    t.note(0, 3, 0, 60, 127);
    t.tempo(4, 250000);
    t.tempo(12, 1000000); // the end of the performance, as the last event
    midi.addTrack().controlChange(9, 1, 7, 100);
    const std::string midiPath = rig.dir.write("song.mid", midi.bytes());
    Cmidfil file(midiPath, rig.notifier);
    ASSERT_TRUE(file.rdmidi());
    RenderJob job(file);
    // 4 ticks at 0.2 s, 8 at 0.125 s: 1.8 s; 20 % slower 2.16 s.
    EXPECT_DOUBLE_EQ(job.plannedDuration(0), 1800000.0);
    EXPECT_DOUBLE_EQ(job.plannedDuration(20), 2160000.0);
    EXPECT_EQ(job.plannedFrames(0), 79380 + RenderJob::kTailAllowance);
    rig.options.tempoPercent = 20;
    auto sf2 = makeSoundBank(rig.dir.write("bank.sf2", bank), rig.notifier, rig.engine->store);
    ASSERT_TRUE(sf2->rdfile());
    MemorySink sink;
    EXPECT_EQ(render(job, rig.engine->rack, rig.request(*sf2, sink)), RenderOutcome::Finished);
    EXPECT_DOUBLE_EQ(job.total(), job.plannedDuration(20));
    EXPECT_LE(std::int64_t(sink.frames()), job.plannedFrames(20));
}

TEST_F(RenderIntegration, AbortStopsTheRunWithoutItsTail) {
    MidiFileWriter midi(1);
    midi.addTrack().note(0, 40, 0, 60, 127); // 20 seconds
    const std::string bankPath = rig.dir.write("bank.sf2", bank);
    const std::string midiPath = rig.dir.write("song.mid", midi.bytes());
    auto sf2 = makeSoundBank(bankPath, rig.notifier, rig.engine->store);
    sf2->rdfile();
    Cmidfil file(midiPath, rig.notifier);
    file.rdmidi();
    RenderJob job(file);
    MemorySink sink;
    RenderRequest request = rig.request(*sf2, sink);
    std::vector<int> progress;
    request.progress = [&](int p) {
        progress.push_back(p);
        rig.engine->abortRequested = true; // after the first block
    };
    EXPECT_EQ(render(job, rig.engine->rack, request), RenderOutcome::Aborted);
    rig.engine->abortRequested = false;
    // One block was written (less the look-ahead it still holds); nothing after it.
    EXPECT_EQ(progress, (std::vector<int>{25, 25}));
    EXPECT_EQ(sink.frames(), 220500u - 131072u);

    // The next run starts again from the beginning and runs to the end.
    MemorySink again;
    EXPECT_EQ(render(job, rig.engine->rack, rig.request(*sf2, again)), RenderOutcome::Finished);
    EXPECT_EQ(rig.progress, (std::vector<int>{25, 50, 75, 100}));
}

TEST_F(RenderIntegration, ASoundFontAndItsCompressedFormRenderTheSame) {
    // A sample with some noise in it, so the packer has to code real residuals.
    std::vector<std::int16_t> frames(30000);
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        frames[i] = static_cast<std::int16_t>(8000 * std::sin(i * 0.05) + int(seed >> 22) - 512);
    }
    const std::string sf2Path = rig.dir.write("bank.sf2", simpleBank(frames));
    auto source = makeSoundBank(sf2Path, rig.notifier, rig.engine->store);
    ASSERT_TRUE(source->rdfile());
    ASSERT_TRUE(BankPacker().pack(*source, rig.dir.file("bank.csf")).ok);
    source.reset();

    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.note(0, 300, 0, 60, 127);
    t.note(100, 300, 0, 67, 80);
    t.pitchBend(200, 0, 1500);
    const std::string midiPath = rig.dir.write("song.mid", midi.bytes());
    const RenderedWave fromSf2 = rig.renderWithBank(sf2Path, midiPath);
    const RenderedWave fromCsf = rig.renderWithBank(rig.dir.file("bank.csf"), midiPath);
    EXPECT_GT(fromSf2.peak, 0);
    EXPECT_EQ(fromCsf.samples, fromSf2.samples);
}

TEST_F(RenderIntegration, WrappedAnnotatedAndTwentyFourBitFilesRenderAsThePlainOnes) {
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    t.note(0, 300, 0, 60, 127);
    t.note(100, 300, 0, 67, 80);
    midi.addTrack().note(200, 300, 1, 64, 100);
    const std::string plain = midi.bytes();
    const RenderedWave reference = rig.render(bank, plain);
    ASSERT_GT(reference.peak, 0);

    // The same file with vendor chunks before, between and after its tracks, in a RIFF
    // MIDI wrapper with an INFO list before its data chunk.
    const std::size_t second = plain.find("MTrk", 22);
    ASSERT_NE(second, std::string::npos);
    const std::string vendor = "XFIH" + std::string("\0\0\0\3", 4) + "abc";
    std::string annotated = plain.substr(0, 14) + vendor + plain.substr(14, second - 14) + vendor +
                            plain.substr(second) + vendor;
    std::string info = "INFOICMT" + std::string("\5\0\0\0", 4) + "note" + std::string(2, '\0');
    std::string wrapped =
        "RMIDLIST" + std::string(1, char(info.size())) + std::string(3, '\0') + info + "data";
    for (int i = 0; i < 4; ++i)
        wrapped += static_cast<char>((annotated.size() >> (8 * i)) & 0xFF);
    wrapped += annotated + std::string(annotated.size() % 2, '\0');
    std::string riff = "RIFF";
    for (int i = 0; i < 4; ++i)
        riff += static_cast<char>((wrapped.size() >> (8 * i)) & 0xFF);
    const RenderedWave fromRmid = rig.render(bank, riff + wrapped);
    EXPECT_EQ(fromRmid.samples, reference.samples);
    EXPECT_EQ(fromRmid.bytesAfterHeader, reference.bytesAfterHeader);

    // A SoundFont 2.04 bank: its 16-bit part plays, whatever the low bytes hold.
    Sf2Builder b;
    const int s = b.addSample({.name = "Tone", .frames = rampFrames(3 * 44100)});
    const int tone = b.addInstrument("Tone", {Sf2Builder::instrumentZone(s, instantEnvelope())});
    b.addPreset("Tone", 0, 0, {Sf2Builder::presetZone(tone)});
    b.addPreset("Kit", 128, 0, {Sf2Builder::presetZone(tone)});
    b.addSdtaChunk("sm24", std::string(3 * 44100 + 46, '\xA5'));
    const RenderedWave from24 = rig.render(b.build(), plain);
    EXPECT_EQ(from24.samples, reference.samples);
    EXPECT_EQ(from24.bytesAfterHeader, reference.bytesAfterHeader);
}

TEST_F(RenderIntegration, SampleAddressesBeyondTheSampleDataPlayOnlyTheData) {
    // The reference: a sample whose header ends exactly at the end of the sample data (its
    // 46 zero frames written as frames, no padding after them).
    std::vector<std::int16_t> frames = rampFrames(3000);
    std::vector<std::int16_t> withZeros = frames;
    withZeros.resize(frames.size() + 46, 0);
    // A bank playing `sample`, its zone with `zone` generators; `start` and `end` replace
    // the header's (absolute frames) when not 0.
    auto bankOf = [](const std::vector<std::int16_t>& sample, std::size_t padding,
                     std::vector<GenSpec> zone, std::uint32_t start = 0, std::uint32_t end = 0) {
        Sf2Builder b;
        const int s = b.addSample({.name = "Tone", .frames = sample, .padding = padding});
        const auto envelope = instantEnvelope();
        zone.insert(zone.end(), envelope.begin(), envelope.end());
        const int i = b.addInstrument("Tone", {Sf2Builder::instrumentZone(s, zone)});
        b.addPreset("Tone", 0, 0, {Sf2Builder::presetZone(i)});
        std::string bytes = b.build();
        const std::size_t shdr = b.layout().chunkHead[8] + 8;
        if (start != 0)
            Sf2Builder::patch32(bytes, shdr + 20, start);
        if (end != 0)
            Sf2Builder::patch32(bytes, shdr + 24, end);
        return bytes;
    };
    const std::string song = oneNote(480, 0, 0, 60, 4000);
    const RenderedWave reference = rig.render(bankOf(withZeros, 0, {}), song);
    ASSERT_GT(reference.peak, 0);
    // The header's end far beyond the data, and the zone's end offsets beyond it (fine
    // and coarse): each plays the sample, its zero frames, and stops at the data's end.
    EXPECT_EQ(rig.render(bankOf(frames, 46, {}, 0, 1000000), song).samples, reference.samples);
    EXPECT_EQ(rig.render(bankOf(frames, 46, {gen(1, 30000)}), song).samples, reference.samples);
    EXPECT_EQ(rig.render(bankOf(frames, 46, {gen(12, 2)}), song).samples, reference.samples);

    // A header inside the records after the data (3046 frames) plays nothing of them.
    EXPECT_EQ(rig.render(bankOf(frames, 46, {}, 3046 + 20, 3046 + 60), song).peak, 0);
}

} // namespace
} // namespace korvelt::test
