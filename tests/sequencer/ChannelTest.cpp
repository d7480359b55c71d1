#include "sequencer/RenderTestSupport.h"

#include "sequencer/MidiChannel.h"
#include "sequencer/ProgramNames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>

namespace korvelt::test {
namespace {

constexpr std::uint16_t kExclusiveClass = 57;
constexpr int kNoteOff = 8, kNoteOn = 9, kControl = 11, kProgram = 12, kBend = 14;

// A bank with melodic presets in banks 0 and 8, drum kits 0, 16 and 24, a kit with two
// hi-hats of one exclusive class, and a stereo piano made of a linked left/right pair.
std::string channelBank() {
    Sf2Builder b;
    const int mono = b.addSample({.name = "Mono", .frames = rampFrames(44100)});
    const int left =
        b.addSample({.name = "L", .frames = rampFrames(44100), .sampleLink = 2, .sampleType = 4});
    const int right =
        b.addSample({.name = "R", .frames = rampFrames(44100), .sampleLink = 1, .sampleType = 2});
    const int tone = b.addInstrument("Tone", {Sf2Builder::instrumentZone(mono)});
    const int hats = b.addInstrument(
        "Hats", {Sf2Builder::instrumentZone(mono, {keyRange(42, 42), gen(kExclusiveClass, 1)}),
                 Sf2Builder::instrumentZone(mono, {keyRange(46, 46), gen(kExclusiveClass, 1)})});
    const int piano =
        b.addInstrument("Piano", {Sf2Builder::instrumentZone(left, {keyRange(0, 127)}),
                                  Sf2Builder::instrumentZone(right, {keyRange(0, 127)})});
    b.addPreset("Tone 0", 0, 0, {Sf2Builder::presetZone(tone)});
    b.addPreset("Tone 25", 0, 25, {Sf2Builder::presetZone(tone)});
    b.addPreset("Bank 8", 8, 0, {Sf2Builder::presetZone(tone)});
    b.addPreset("Piano", 0, 1, {Sf2Builder::presetZone(piano)});
    b.addPreset("Kit 0", 128, 0, {Sf2Builder::presetZone(hats)});
    b.addPreset("Kit 16", 128, 16, {Sf2Builder::presetZone(tone)});
    b.addPreset("Kit 24", 128, 24, {Sf2Builder::presetZone(tone)});
    return b.build();
}

class Channel : public ::testing::Test {
protected:
    Channel() {
        bank = makeSoundBank(rig.dir.write("bank.sf2", channelBank()), rig.notifier,
                             rig.engine->store);
        bank->rdfile();
        ctx = std::make_unique<SequencerContext>(rig.context(*bank));
    }

    std::vector<const Voice*> voices(const MidiChannel& channel) const {
        std::vector<const Voice*> all;
        if (channel.preset() != nullptr)
            for (const auto& pz : channel.preset()->zones())
                for (const auto& zone : pz.instrument->zones())
                    for (const Voice* v : zone.activeVoices())
                        all.push_back(v);
        return all;
    }
    // Runs a few control blocks so envelopes move.
    void render(MidiChannel& channel, int frames = 100) {
        rig.engine->rack.mixBus().blockOffset = 0;
        channel.renderVoices(*ctx, frames);
    }
    static bool releasing(const Voice* v) {
        return v->volumeEnvelope().phase() >= EnvelopePhase::Release;
    }

    RenderRig rig;
    std::unique_ptr<Csf2file> bank;
    std::unique_ptr<SequencerContext> ctx;
};

TEST_F(Channel, AMissingProgramFallsBackToTheNextLowerBank) {
    MidiChannel channel(0);
    channel.handle(*ctx, kControl, 0, 8); // bank 8 has no program 25
    channel.handle(*ctx, kProgram, 25, 0);
    channel.handle(*ctx, kNoteOn, 60, 100);
    EXPECT_EQ(channel.bank(), 0);
    EXPECT_EQ(voices(channel).size(), 1u);
}

TEST_F(Channel, AMissingDrumKitFallsBackToTheNearestLowerKit) {
    MidiChannel drums(MidiChannel::kPercussionChannel);
    drums.handle(*ctx, kProgram, 25, 0);
    drums.handle(*ctx, kNoteOn, 36, 100);
    EXPECT_EQ(drums.program(), 24);
    EXPECT_EQ(drums.bank(), 128);
    // A bank select only cuts the notes; the next build forces bank 128 again.
    drums.handle(*ctx, kControl, 0, 3);
    EXPECT_TRUE(voices(drums).empty());
    drums.handle(*ctx, kNoteOn, 36, 100);
    EXPECT_EQ(drums.bank(), 128);
}

TEST_F(Channel, AMissingPresetIsReportedOnlyWhenErrorsAreShown) {
    MidiChannel channel(0);
    channel.handle(*ctx, kControl, 0, 0);
    channel.handle(*ctx, kProgram, 90, 0); // bank 0 has no program 90, and nothing is below
    channel.handle(*ctx, kNoteOn, 60, 100);
    EXPECT_TRUE(rig.notifier.messages().empty());
    EXPECT_TRUE(voices(channel).empty());

    rig.options.showMidiErrors = true;
    channel.handle(*ctx, kProgram, 90, 0);
    channel.handle(*ctx, kNoteOn, 60, 100);
    channel.handle(*ctx, kNoteOn, 62, 100); // one message per build, not per note
    ASSERT_EQ(rig.notifier.messages().size(), 1u);
    EXPECT_EQ(rig.notifier.messages()[0].title, "Invalid MIDI preset");
    EXPECT_EQ(rig.notifier.messages()[0].text, "Bank number 0 doesn't have preset number 90");
}

TEST_F(Channel, AKeyStruckAgainEndsItsVoiceEvenUnderTheSustainPedal) {
    MidiChannel channel(0);
    channel.handle(*ctx, kControl, 64, 127);
    channel.handle(*ctx, kNoteOn, 60, 100);
    render(channel);
    channel.handle(*ctx, kNoteOn, 60, 100);
    auto v = voices(channel);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_TRUE(releasing(v[0])); // the older voice
    EXPECT_FALSE(releasing(v[1]));
}

TEST_F(Channel, SustainHoldsEveryNoteReleasedWhileItIsDownUntilItComesUp) {
    MidiChannel channel(0);
    channel.handle(*ctx, kNoteOn, 60, 100);
    channel.handle(*ctx, kControl, 64, 127);
    channel.handle(*ctx, kNoteOn, 64, 100); // struck under the pedal
    render(channel);
    channel.handle(*ctx, kNoteOff, 60, 0);
    channel.handle(*ctx, kNoteOff, 64, 0);
    auto v = voices(channel);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_FALSE(releasing(v[0]));
    EXPECT_FALSE(releasing(v[1]));
    channel.handle(*ctx, kNoteOn, 67, 100); // still held down at pedal up
    channel.handle(*ctx, kControl, 64, 0);
    v = voices(channel);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_TRUE(releasing(v[0]));
    EXPECT_TRUE(releasing(v[1]));
    EXPECT_FALSE(releasing(v[2]));
    channel.handle(*ctx, kNoteOff, 67, 0);
    EXPECT_TRUE(releasing(v[2]));

    // All notes off releases whatever the pedals hold.
    channel.handle(*ctx, kControl, 64, 127);
    channel.handle(*ctx, kNoteOn, 69, 100);
    render(channel);
    channel.handle(*ctx, kNoteOff, 69, 0);
    channel.handle(*ctx, kControl, 123, 0);
    for (const Voice* voice : voices(channel))
        EXPECT_TRUE(releasing(voice));
}

TEST_F(Channel, SostenutoHoldsTheNotesSoundingWhenItWentDown) {
    // Key 60 sounds when sostenuto goes down and is held by it; key 64, struck after (even
    // with the pedal sent down again), is not; the sustain pedal does not take 60 over.
    MidiChannel channel(0);
    channel.handle(*ctx, kNoteOn, 60, 100);
    channel.handle(*ctx, kControl, 66, 127);
    channel.handle(*ctx, kNoteOn, 64, 100);
    channel.handle(*ctx, kControl, 66, 100);
    channel.handle(*ctx, kControl, 64, 127);
    channel.handle(*ctx, kControl, 64, 0);
    render(channel);
    channel.handle(*ctx, kNoteOff, 60, 0);
    channel.handle(*ctx, kNoteOff, 64, 0);
    auto v = voices(channel);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0]->holdState(), Voice::HoldState::SostenutoReleasePending);
    EXPECT_FALSE(releasing(v[0]));
    EXPECT_TRUE(releasing(v[1]));
    channel.handle(*ctx, kControl, 66, 0);
    EXPECT_TRUE(releasing(v[0]));
}

TEST_F(Channel, AClosedHiHatCutsTheOpenOne) {
    MidiChannel drums(MidiChannel::kPercussionChannel);
    drums.handle(*ctx, kNoteOn, 46, 100); // open
    render(drums);
    drums.handle(*ctx, kNoteOn, 42, 100); // closed, same exclusive class
    auto v = voices(drums);
    ASSERT_EQ(v.size(), 2u);
    int released = 0;
    for (const Voice* voice : v)
        released += releasing(voice) ? 1 : 0;
    EXPECT_EQ(released, 1);
}

TEST_F(Channel, AStereoPairPlaysAsTwoVoicesRenderedTogether) {
    MidiChannel channel(0);
    channel.handle(*ctx, kProgram, 1, 0);
    channel.handle(*ctx, kNoteOn, 60, 100);
    auto v = voices(channel);
    ASSERT_EQ(v.size(), 2u);
    const Voice* master = v[0]->partner() != nullptr ? v[0] : v[1];
    const Voice* partner = master == v[0] ? v[1] : v[0];
    EXPECT_EQ(master->partner(), partner);
    EXPECT_EQ(partner->partner(), nullptr);
    render(channel, 300);
    // Both sides play in lockstep.
    EXPECT_EQ(master->oscillator().position(), partner->oscillator().position());
}

TEST_F(Channel, ControllersOutliveProgramChangesAndBankSelects) {
    // Set with no note sounding, before the program, as sequencers write tick 0.
    MidiChannel channel(0), plain(1);
    for (auto [controller, value] :
         {std::pair{121, 0}, {7, 20}, {10, 0}, {91, 127}, {93, 64}, {101, 0}, {100, 0}, {6, 12}})
        channel.handle(*ctx, kControl, controller, value);
    channel.handle(*ctx, kBend, 0x7F, 0x7F); // full bend up over 12 semitones
    plain.handle(*ctx, kNoteOn, 72, 100);
    render(plain, 20);
    // A program change, then a bank select (bank 8 has no program 25: bank 0 plays it).
    for (auto [command, data1, data2] : {std::tuple{kProgram, 25, 0}, {kControl, 0, 8}}) {
        channel.handle(*ctx, kNoteOn, 60, 100);
        channel.handle(*ctx, command, data1, data2);
        EXPECT_EQ(channel.preset(), nullptr); // every note cut
        channel.handle(*ctx, kNoteOn, 60, 100);
        render(channel, 20);
        const auto v = voices(channel);
        ASSERT_EQ(v.size(), 1u);
        EXPECT_FLOAT_EQ(v[0]->amplifier().channelAttenuation(),
                        float(-200.0 * std::log10(20.0 / 127.0)));
        EXPECT_EQ(v[0]->pan(), -500);
        EXPECT_FLOAT_EQ(v[0]->reverbLevel(), 0.198f);
        EXPECT_FLOAT_EQ(v[0]->chorusLevel(), 0.1f);
        EXPECT_NEAR(v[0]->oscillator().increment() / voices(plain)[0]->oscillator().increment(),
                    1.0, 1e-3); // an octave up, less a cent
    }
    EXPECT_EQ(channel.program(), 25);
}

TEST_F(Channel, ResetAllControllersAndANewRunRestoreTheInitialValues) {
    MidiChannel channel(0);
    for (auto [controller, value] : {std::pair{7, 20},
                                     {10, 0},
                                     {91, 127},
                                     {93, 127},
                                     {11, 50},
                                     {64, 127},
                                     {66, 127},
                                     {67, 127},
                                     {1, 80},
                                     {101, 0},
                                     {100, 0},
                                     {6, 12}})
        channel.handle(*ctx, kControl, controller, value);
    channel.handle(*ctx, kBend, 0, 0);
    channel.handle(*ctx, kControl, 121, 0);
    const ChannelState& s = channel.state();
    EXPECT_EQ(s.expression, 127);
    EXPECT_FALSE(s.sustainDown || s.sostenutoDown || s.softPedalDown);
    EXPECT_EQ(s.modulation, 0);
    EXPECT_EQ(s.pitchBend, 0);
    EXPECT_EQ(s.pitchBendRange, 200);
    // Volume, pan, sends and the parameter numbers stay.
    EXPECT_EQ(s.volume, 20);
    EXPECT_EQ(s.pan, -500);
    EXPECT_EQ(s.reverbSend, 198);
    EXPECT_EQ(s.chorusSend, 198);
    EXPECT_EQ(s.parameterMsb, 0);
    EXPECT_EQ(s.parameterLsb, 0);

    channel.reset(); // a new run
    EXPECT_EQ(s.volume, 100);
    EXPECT_EQ(s.pan, ChannelState::kPanUnset);
    EXPECT_EQ(s.reverbSend, 0);
    EXPECT_EQ(s.chorusSend, 0);
    EXPECT_EQ(s.parameterMsb, -1);
    EXPECT_EQ(s.dataEntryMsb, 0);
}

TEST_F(Channel, ControllersSetTheChannelState) {
    MidiChannel channel(0);
    channel.handle(*ctx, kNoteOn, 60, 100);
    const ChannelState& s = channel.state();
    channel.handle(*ctx, kControl, 10, 0);
    EXPECT_EQ(s.pan, -500);
    channel.handle(*ctx, kControl, 10, 127);
    EXPECT_EQ(s.pan, 492);
    EXPECT_EQ(voices(channel)[0]->pan(), 492);
    channel.handle(*ctx, kControl, 91, 127);
    EXPECT_EQ(s.reverbSend, 198);
    EXPECT_NEAR(s.attenuation(0.0), 20.76, 0.01); // volume 100, expression 127
    channel.handle(*ctx, kControl, 11, 0);
    EXPECT_EQ(s.attenuation(0.0), 1000.0f);
    channel.handle(*ctx, kControl, 11, 127);
    rig.options.mixer[0].volumeCb = 60; // the mixer's offset makes the channel louder
    channel.handle(*ctx, kControl, 7, 127);
    EXPECT_NEAR(voices(channel)[0]->amplifier().channelAttenuation(), -60.0, 1e-4);
}

TEST_F(Channel, DataEntrySetsThePitchBendRangeUnderRegisteredParameterZero) {
    // Set while no note sounds, with the data entry MSB alone, as General MIDI files do.
    MidiChannel channel(0), plain(1);
    channel.handle(*ctx, kControl, 101, 0);
    channel.handle(*ctx, kControl, 100, 0);
    channel.handle(*ctx, kControl, 6, 12);
    channel.handle(*ctx, kNoteOn, 60, 100);
    channel.handle(*ctx, kBend, 0x7F, 0x7F); // full bend up: 8191
    plain.handle(*ctx, kNoteOn, 72, 100);
    render(channel, 20);
    render(plain, 20);
    const ChannelState& state = channel.state();
    EXPECT_EQ(state.pitchBendRange, 1200);
    EXPECT_EQ(state.pitchOffset(), 1199); // 1200 x 8191 / 8192
    // An octave up: key 60 bent plays (a cent below) as key 72.
    EXPECT_NEAR(voices(channel)[0]->oscillator().increment() /
                    voices(plain)[0]->oscillator().increment(),
                1.0, 1e-3);

    channel.handle(*ctx, kControl, 6, 2);
    channel.handle(*ctx, kControl, 38, 50);
    EXPECT_EQ(state.pitchBendRange, 250);
    // A sounding note takes the new range with the next move of the wheel.
    const double bent = voices(channel)[0]->oscillator().increment();
    channel.handle(*ctx, kBend, 0x7F, 0x7F);
    render(channel, 20);
    EXPECT_EQ(voices(channel)[0]->oscillator().increment(), bent);
    channel.handle(*ctx, kBend, 0x7E, 0x7F); // 8190: 249 cents
    render(channel, 20);
    EXPECT_NEAR(voices(channel)[0]->oscillator().increment() / bent,
                std::pow(2.0, (249 - 1199) / 1200.0), 1e-6);
    channel.handle(*ctx, kControl, 6, 3); // with the stored LSB
    EXPECT_EQ(state.pitchBendRange, 350);
    // Under the null parameter, or a non-registered one, data entry changes nothing.
    channel.handle(*ctx, kControl, 101, 127);
    channel.handle(*ctx, kControl, 100, 127);
    channel.handle(*ctx, kControl, 6, 7);
    channel.handle(*ctx, kControl, 38, 7);
    channel.handle(*ctx, kControl, 101, 0);
    channel.handle(*ctx, kControl, 100, 0);
    channel.handle(*ctx, kControl, 99, 1);
    channel.handle(*ctx, kControl, 98, 8);
    channel.handle(*ctx, kControl, 6, 64);
    EXPECT_EQ(state.pitchBendRange, 350);
    channel.handle(*ctx, kControl, 121, 0);
    EXPECT_EQ(state.pitchBendRange, 200);
}

TEST_F(Channel, AnUnknownControllerIsReportedByEveryZoneOnlyWhenErrorsAreShown) {
    MidiChannel drums(MidiChannel::kPercussionChannel); // kit 0: two zones
    drums.handle(*ctx, kControl, 2, 5);
    EXPECT_TRUE(rig.notifier.messages().empty());
    rig.options.showMidiErrors = true;
    drums.handle(*ctx, kControl, 2, 5);
    ASSERT_EQ(rig.notifier.messages().size(), 2u);
    EXPECT_EQ(rig.notifier.messages()[0].title, "Invalid MIDI channel Control change");
    EXPECT_EQ(rig.notifier.messages()[0].text, "Controller number: 2; Controller value: 5");
}

TEST(ProgramNames, LabelsJoinTheProgramsOfEachChannel) {
    MidiFileWriter writer(480);
    auto& t = writer.addTrack();
    for (int program : {0, 48, 0, 73})
        t.programChange(0, 2, program);
    t.programChange(0, 3, 59);
    t.programChange(0, 3, 56);
    t.programChange(0, 4, 56);
    t.programChange(0, 4, 59);
    t.programChange(0, 9, 16);
    TempDir dir;
    RecordingNotifier notifier;
    Cmidfil midi(dir.write("labels.mid", writer.bytes()), notifier);
    ASSERT_TRUE(midi.rdmidi());
    const auto labels = channelLabels(midi);
    EXPECT_EQ(labels[2], "Acoustic Grand Piano/String Ensemble 1/Flute");
    EXPECT_EQ(labels[3], "Muted Trumpet");
    EXPECT_EQ(labels[4], "Trumpet/Muted Trumpet");
    EXPECT_EQ(labels[9], "Percussion");
    EXPECT_EQ(labels[0], "");
}

} // namespace
} // namespace korvelt::test

namespace korvelt::test {
namespace {

// A stereo kit zone pair of one exclusive class, with its two sides in either order, and a
// right-hand sample much shorter than the left-hand one.
std::string stereoBank(bool leftFirst, std::size_t rightFrames) {
    Sf2Builder b;
    const int left =
        b.addSample({.name = "L", .frames = rampFrames(44100), .sampleLink = 1, .sampleType = 4});
    const int right = b.addSample(
        {.name = "R", .frames = rampFrames(rightFrames), .sampleLink = 0, .sampleType = 2});
    auto zone = [&](int sample) {
        auto g = instantEnvelope();
        g.push_back(gen(57, 1)); // exclusive class 1
        return Sf2Builder::instrumentZone(sample, g);
    };
    const int hat = b.addInstrument("Hat", leftFirst ? std::vector{zone(left), zone(right)}
                                                     : std::vector{zone(right), zone(left)});
    b.addPreset("Hat", 0, 0, {Sf2Builder::presetZone(hat)});
    return b.build();
}

TEST(StereoPairs, AnExclusiveClassNeverCutsThePairItStarts) {
    for (bool leftFirst : {true, false}) {
        RenderRig rig;
        auto bank = makeSoundBank(rig.dir.write("hat.sf2", stereoBank(leftFirst, 44100)),
                                  rig.notifier, rig.engine->store);
        bank->rdfile();
        SequencerContext ctx = rig.context(*bank);
        MidiChannel channel(0);
        for (int strike = 0; strike < 2; ++strike) {
            channel.handle(ctx, kNoteOn, 60 + strike, 100);
            rig.engine->rack.mixBus().blockOffset = 0;
            channel.renderVoices(ctx, 200);
        }
        // The newest pair plays on, both sides; the first one is cut by the second.
        int newest = 0, first = 0;
        for (const auto& pz : channel.preset()->zones())
            for (const auto& zone : pz.instrument->zones())
                for (const Voice* v : zone.activeVoices())
                    if (v->volumeEnvelope().phase() < EnvelopePhase::Release)
                        (v->key() == 61 ? newest : first)++;
        EXPECT_EQ(newest, 2) << (leftFirst ? "left first" : "right first");
        EXPECT_EQ(first, 0) << (leftFirst ? "left first" : "right first");
    }
}

TEST(StereoPairs, APairEndsWhenItsMasterEndsFirst) {
    // The right-hand sample (the master) lasts 0.1 s, the left-hand one 1 s.
    MidiFileWriter midi(480);
    midi.addTrack().note(0, 48, 0, 60, 100);
    RenderRig rig;
    const RenderedWave w = rig.render(stereoBank(true, 4410), midi.bytes());
    EXPECT_GT(w.peak, 0);
    EXPECT_LT(w.frames(), 44100u);
}

TEST(PresetLimits, APresetOfAbsurdlyManyZonesStaysSilentAndSaysSo) {
    // 300 preset zones on an instrument of 300 zones would be 90000 zone instances.
    Sf2Builder b;
    const int s = b.addSample({.name = "S", .frames = rampFrames(100)});
    std::vector<Sf2Builder::Zone> zones(300, Sf2Builder::instrumentZone(s));
    const int inst = b.addInstrument("Many", zones);
    b.addPreset("Many", 0, 0, std::vector<Sf2Builder::Zone>(300, Sf2Builder::presetZone(inst)));
    RenderRig rig;
    rig.options.showMidiErrors = true;
    auto bank =
        makeSoundBank(rig.dir.write("many.sf2", b.build()), rig.notifier, rig.engine->store);
    ASSERT_TRUE(bank->rdfile());
    SequencerContext ctx = rig.context(*bank);
    MidiChannel channel(0);
    channel.handle(ctx, kNoteOn, 60, 100);
    EXPECT_TRUE(channel.preset()->zones().empty());
    ASSERT_EQ(rig.notifier.messages().size(), 1u);
    EXPECT_EQ(rig.notifier.messages()[0].title, "Invalid MIDI preset");
    EXPECT_EQ(rig.notifier.messages()[0].text, "Bank number 0, preset number 0 has too many zones");
}

} // namespace
} // namespace korvelt::test
