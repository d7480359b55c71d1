#include "sequencer/RenderTestSupport.h"

#include "sequencer/MidiChannel.h"

#include <gtest/gtest.h>

namespace korvelt::test {
namespace {

constexpr int kNoteOff = 8, kNoteOn = 9;

// Preset zones that split the keyboard and the velocity among instruments that each cover
// every key: only the instrument whose preset zone takes a note may sound it.
class PresetRanges : public ::testing::Test {
protected:
    PresetRanges() {
        Sf2Builder b;
        for (int i = 0; i < 4; ++i)
            b.addSample(
                {.name = std::string(1, char('S')) + char('0' + i), .frames = rampFrames(4000)});
        for (int i = 0; i < 4; ++i)
            b.addInstrument(std::string(1, char('I')) + char('0' + i),
                            {Sf2Builder::instrumentZone(i)});
        // Program 0: keys below middle C on instrument 0, from middle C on instrument 1.
        b.addPreset("Split", 0, 0,
                    {Sf2Builder::presetZone(0, {keyRange(0, 59)}),
                     Sf2Builder::presetZone(1, {keyRange(60, 127)})});
        // Program 1: soft notes on instrument 2, loud ones on instrument 3.
        b.addPreset("Layers", 0, 1,
                    {Sf2Builder::presetZone(2, {velRange(0, 63)}),
                     Sf2Builder::presetZone(3, {velRange(64, 127)})});
        // Program 2: a global zone's range is the default of zones without their own.
        b.addPreset("Global", 0, 2,
                    {Sf2Builder::globalZone({keyRange(0, 59)}), Sf2Builder::presetZone(0),
                     Sf2Builder::presetZone(1, {keyRange(60, 127)})});
        bank = makeSoundBank(rig.dir.write("bank.sf2", b.build()), rig.notifier, rig.engine->store);
        bank->rdfile();
        ctx = std::make_unique<SequencerContext>(rig.context(*bank));
    }

    // The names of the samples of the voices now sounding on the channel.
    std::vector<std::string> sounding(const MidiChannel& channel) const {
        std::vector<std::string> names;
        for (const auto& pz : channel.preset()->zones())
            for (const auto& zone : pz.instrument->zones())
                for (std::size_t i = 0; i < zone.activeVoices().size(); ++i)
                    names.push_back(recordNameText(zone.sample_->name));
        return names;
    }

    RenderRig rig;
    std::unique_ptr<Csf2file> bank;
    std::unique_ptr<SequencerContext> ctx;
};

TEST_F(PresetRanges, AKeySplitSoundsOnlyTheMatchingInstrument) {
    MidiChannel low(0), high(1);
    low.handle(*ctx, kNoteOn, 50, 100);
    high.handle(*ctx, kNoteOn, 70, 100);
    EXPECT_EQ(sounding(low), std::vector<std::string>{"S0"});
    EXPECT_EQ(sounding(high), std::vector<std::string>{"S1"});
}

TEST_F(PresetRanges, VelocityLayersSoundOnlyTheMatchingInstrument) {
    MidiChannel soft(0), loud(1);
    for (auto* channel : {&soft, &loud})
        channel->handle(*ctx, 12, 1, 0);
    soft.handle(*ctx, kNoteOn, 60, 40);
    loud.handle(*ctx, kNoteOn, 60, 100);
    EXPECT_EQ(sounding(soft), std::vector<std::string>{"S2"});
    EXPECT_EQ(sounding(loud), std::vector<std::string>{"S3"});
}

TEST_F(PresetRanges, TheGlobalZoneRangeIsTheDefault) {
    MidiChannel below(0), above(1);
    for (auto* channel : {&below, &above})
        channel->handle(*ctx, 12, 2, 0);
    below.handle(*ctx, kNoteOn, 40, 100);
    above.handle(*ctx, kNoteOn, 80, 100);
    EXPECT_EQ(sounding(below), std::vector<std::string>{"S0"});
    EXPECT_EQ(sounding(above), std::vector<std::string>{"S1"});
}

TEST_F(PresetRanges, ANoteOffAfterATranspositionChangeStillReleasesItsVoice) {
    MidiChannel channel(0);
    rig.options.transposeSemitones = 2;
    channel.handle(*ctx, kNoteOn, 58, 100); // sounds as 60: the upper instrument
    ASSERT_EQ(sounding(channel), std::vector<std::string>{"S1"});
    rig.options.transposeSemitones = -5; // would send the note off to key 53
    channel.handle(*ctx, kNoteOff, 58, 0);
    const Voice* voice = channel.preset()->zones()[0].instrument->zones()[0].activeVoices()[0];
    EXPECT_GE(voice->volumeEnvelope().phase(), EnvelopePhase::Release);
}

TEST(PresetRangesRender, FullRangesAtPresetLevelRenderExactlyAsNoRanges) {
    auto bankWith = [](std::vector<GenSpec> presetGenerators) {
        Sf2Builder b;
        const int s = b.addSample({.name = "Tone", .frames = rampFrames(20000)});
        const int i = b.addInstrument("Tone", {Sf2Builder::instrumentZone(s, instantEnvelope())});
        b.addPreset("Tone", 0, 0, {Sf2Builder::presetZone(i, std::move(presetGenerators))});
        return b.build();
    };
    MidiFileWriter midi(480);
    auto& t = midi.addTrack();
    for (int k = 0; k < 6; ++k)
        t.note(100u * k, 300, 0, 48 + 5 * k, 30 + 15 * k);
    RenderRig rig;
    const RenderedWave plain = rig.render(bankWith({}), midi.bytes());
    const RenderedWave ranged =
        rig.render(bankWith({keyRange(0, 127), velRange(0, 127)}), midi.bytes());
    EXPECT_GT(plain.peak, 0);
    EXPECT_EQ(ranged.samples, plain.samples);
}

} // namespace
} // namespace korvelt::test
