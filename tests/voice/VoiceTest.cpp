#include "voice/Voice.h"

#include "VoiceTestSupport.h"
#include "platform/File.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace korvelt {
namespace {

using test::gens;
using test::VoiceRig;
using Hold = Voice::HoldState;
using Phase = EnvelopePhase;

TEST(VoiceGenerators, InstrumentOffsetsAccumulateAndPresetOffsetsAreIgnored) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(100));
    Voice voice(sample, rig.services);
    voice.applyGenerators(gens({{0, 10}}), false);                  // instrument global zone
    voice.applyGenerators(gens({{0, 5}}), false);                   // instrument zone
    voice.applyGenerators(gens({{0, 7}, {54, 1}, {46, 30}}), true); // preset: skipped
    voice.prepare();
    VoiceRig::play(voice);
    EXPECT_EQ(voice.oscillator().startOffset(), 15);
    EXPECT_EQ(voice.oscillator().position(), 15u);
    EXPECT_EQ(voice.oscillator().loopMode(), 0);
    EXPECT_EQ(voice.keyOverride(), -1);
}

TEST(VoiceGenerators, PresetLevelAddsToSetAddGenerators) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(100));
    auto voice =
        rig.voice(sample, gens({{17, 100}, {16, 200}, {17, 120}}), gens({{17, 50}, {16, 5}}));
    EXPECT_EQ(voice->pan(), 170); // the instrument's later value replaces, the preset adds
    EXPECT_EQ(voice->reverbSend(), 205);
    // A bank repeating a generator saturates the sum instead of overflowing it.
    std::vector<Generator> many(70000, Generator{4, 32767}); // coarse start offset
    voice->applyGenerators(many, false);
    EXPECT_EQ(voice->oscillator().startOffset(), 2147483647);
}

TEST(VoiceGenerators, KeynumOverrideSetsPitchAndScalingButNotTheMatchingKey) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(100), 44100, 60);
    auto voice = rig.voice(sample, gens({{46, 60}, {39, 100}, {47, 64}}));
    VoiceRig::play(*voice, 72, 127);
    EXPECT_NEAR(voice->amplifier().velocityAttenuation(), 59.5f, 0.05f); // velocity 64
    EXPECT_EQ(voice->key(), 72);
    EXPECT_EQ(voice->oscillator().baseIncrement(), 1.0); // sounds as key 60
    EXPECT_EQ(voice->volumeEnvelope().holdTicks(), 2);   // key 60: no scaling
    voice->noteOff(64);
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Release);
}

TEST(VoiceGenerators, UnknownGeneratorsAreReportedOnlyWhenErrorsAreShown) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(100));
    Voice voice(sample, rig.services);
    voice.applyGenerators(gens({{61, 5}, {14, 9}, {43, 0x7F00}}), false);
    EXPECT_EQ(rig.notifier.count(), 0u);
    rig.options.showMidiErrors = true;
    voice.applyGenerators(gens({{61, -1}, {17, 40}, {14, 9}, {60, 3}, {1000, 2}}), false);
    const std::vector<RecordingNotifier::Message> expected = {
        {Severity::Warning, "Invalid Sound Font generator",
         "Generator number: 61; Generator value: 65535"},
        {Severity::Warning, "Invalid Sound Font generator",
         "Generator number: 1000; Generator value: 2"},
    };
    EXPECT_EQ(rig.notifier.messages(), expected);
    EXPECT_EQ(voice.pan(), 40); // the next generators still apply
}

TEST(Voice, SendsAreLimitedToZeroToOne) {
    VoiceRig rig;
    rig.options.reverbAmount = 0.4f;
    rig.options.chorusAmount = -0.5f;
    auto sample = test::makeSample(test::ramp(100));
    auto voice = rig.voice(sample, gens({{16, 1000}, {15, 200}}));
    voice->start(60, 127, 0.0f, 0, 0, 100, 2000, true, false);
    EXPECT_FLOAT_EQ(voice->reverbLevel(), 1.0f);
    EXPECT_FLOAT_EQ(voice->chorusLevel(), 0.0f); // -0.5 + 0.3 is below 0
    voice->setChorusSend(500);
    EXPECT_FLOAT_EQ(voice->chorusLevel(), 0.2f);
    rig.options.reverbAmount = -1.0f;
    voice->setReverbSend(100);
    EXPECT_FLOAT_EQ(voice->reverbLevel(), 0.1f);
}

TEST(Voice, PanGainsAreLinear) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(100));
    auto voice = rig.voice(sample, gens({{17, -500}}));
    EXPECT_FLOAT_EQ(voice->leftGain(), 0.5f); // until the first note
    VoiceRig::play(*voice);                   // channel pan unset
    EXPECT_FLOAT_EQ(voice->leftGain(), 1.0f);
    EXPECT_FLOAT_EQ(voice->rightGain(), 0.0f);
    voice->setPan(0); // the channel sets pan 64
    EXPECT_FLOAT_EQ(voice->leftGain(), 0.5f);
    EXPECT_FLOAT_EQ(voice->rightGain(), 0.5f);
    voice->setPan(-900); // limited to full left
    EXPECT_FLOAT_EQ(voice->leftGain(), 1.0f);
    voice->start(60, 127, 0.0f, 0, 0, 0, 100, true, false);
    EXPECT_EQ(voice->pan(), 100);
    EXPECT_FLOAT_EQ(voice->rightGain(), 0.6f);
}

TEST(Voice, HoldStates) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(100));
    auto voice = rig.voice(sample);
    // Sustain down, note off, sustain up: the release comes at the pedal-up.
    VoiceRig::play(*voice);
    EXPECT_EQ(voice->holdState(), Hold::Free);
    voice->sustainPedal(true);
    EXPECT_EQ(voice->holdState(), Hold::SustainHeld);
    voice->noteOff(0);
    EXPECT_EQ(voice->holdState(), Hold::SustainReleasePending);
    EXPECT_NE(voice->volumeEnvelope().phase(), Phase::Release);
    voice->noteOff(0);
    voice->sustainPedal(true);
    EXPECT_EQ(voice->holdState(), Hold::SustainReleasePending);
    voice->sustainPedal(false);
    EXPECT_EQ(voice->holdState(), Hold::Free);
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Release);
    EXPECT_EQ(voice->modulationEnvelope().phase(), Phase::Release);

    // Sostenuto takes a note whose key is down, and the sustain pedal does not take it over;
    // a note whose key has come up is not taken.
    voice->start(60, 127, 0.0f, 0, 0, 0, 2000, true, false);
    EXPECT_EQ(voice->holdState(), Hold::Free);
    voice->sostenutoOn();
    EXPECT_EQ(voice->holdState(), Hold::SostenutoHeld);
    voice->sustainPedal(true);
    EXPECT_EQ(voice->holdState(), Hold::SostenutoHeld);
    voice->noteOff(0);
    EXPECT_EQ(voice->holdState(), Hold::SostenutoReleasePending);
    voice->sustainPedal(false);
    EXPECT_EQ(voice->holdState(), Hold::SostenutoReleasePending);
    voice->sostenutoOff(false);
    EXPECT_EQ(voice->holdState(), Hold::Free);
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Release);
    voice->sostenutoOn();
    EXPECT_EQ(voice->holdState(), Hold::Free);

    // Sostenuto up while sustain is down hands the note to the sustain pedal.
    voice->start(60, 127, 0.0f, 0, 0, 0, 2000, true, false);
    voice->sostenutoOn();
    voice->noteOff(0);
    voice->sostenutoOff(true);
    EXPECT_EQ(voice->holdState(), Hold::SustainReleasePending);
    EXPECT_NE(voice->volumeEnvelope().phase(), Phase::Release);

    // releaseNow ignores the hold state and leaves it as it is.
    voice->start(60, 127, 0.0f, 0, 0, 0, 2000, true, false);
    voice->sostenutoOn();
    voice->releaseNow();
    EXPECT_EQ(voice->holdState(), Hold::SostenutoHeld);
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Release);
    voice->sostenutoOff(false);
    EXPECT_EQ(voice->holdState(), Hold::Free);
}

TEST(VoiceRender, ControlTicksFollowEveryBlockAndTheShortLastOne) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(1000));
    auto voice = rig.voice(sample);
    VoiceRig::play(*voice);
    rig.bus->mixPosition = 100;
    voice->render(40); // 2 ticks: both counted delay ticks
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Delay);
    EXPECT_EQ(rig.bus->mixPosition, 140);
    VoiceRig::play(*voice);
    rig.bus->mixPosition = 0;
    voice->render(45); // 20, 20 and 5 frames: 3 ticks
    EXPECT_EQ(rig.bus->mixPosition, 45);
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Attack);
    EXPECT_FLOAT_EQ(voice->volumeEnvelope().level(), 1.0f);
    EXPECT_EQ(voice->oscillator().position(), 45u);
}

TEST(VoiceRender, MixesIntoTheSixBuffersWithPanAndSends) {
    VoiceRig rig;
    rig.options.reverbAmount = 0.25f;
    rig.options.chorusAmount = 0.125f;
    const auto data = test::ramp(200, 100, -9000);
    auto sample = test::makeSample(data);
    auto voice = rig.voice(sample, test::instantVolume());
    voice->start(60, 127, 0.0f, 0, 0, 0, -250, true, false);
    rig.bus->mixPosition = 1000;
    voice->render(60);
    const float l = 0.75f, r = 0.25f, c = 0.125f, rv = 0.25f, d = 1.0f - c - rv;
    for (int i = 0; i < 20; ++i) // the first block plays at the envelope's 1000 cB: silent
        EXPECT_EQ(rig.at(MixBus::DryLeft, 1000 + i), 0.0f);
    for (int i = 20; i < 60; ++i) {
        const float s = data[i] / 32768.0f;
        const int at = 1000 + i;
        EXPECT_NEAR(rig.at(MixBus::DryLeft, at), l * s * d, 1e-6f) << i;
        EXPECT_NEAR(rig.at(MixBus::DryRight, at), r * s * d, 1e-6f);
        EXPECT_NEAR(rig.at(MixBus::ChorusLeft, at), c * l * s, 1e-6f);
        EXPECT_NEAR(rig.at(MixBus::ChorusRight, at), c * r * s, 1e-6f);
        EXPECT_NEAR(rig.at(MixBus::ReverbLeft, at), rv * l * s, 1e-6f);
        EXPECT_NEAR(rig.at(MixBus::ReverbRight, at), rv * r * s, 1e-6f);
    }
    EXPECT_EQ(rig.at(MixBus::DryLeft, 1060), 0.0f);
}

TEST(VoiceRender, SampleEndStopsTheVoiceMidBlock) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(30));
    auto voice = rig.voice(sample, test::instantVolume());
    VoiceRig::play(*voice);
    rig.bus->mixPosition = 0;
    voice->render(100);
    EXPECT_FALSE(voice->isSounding());
    EXPECT_EQ(rig.bus->mixPosition, 30);
    // The stopping block's tick ran: two ticks in all.
    EXPECT_EQ(voice->volumeEnvelope().phase(), Phase::Hold);
    EXPECT_FALSE(voice->oscillator().data()); // the buffer is let go
    voice->render(20);                        // nothing more
    EXPECT_EQ(rig.bus->mixPosition, 30);
}

TEST(VoiceRender, FinishedVolumeEnvelopeStopsTheVoice) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(30000), 44100, 60, 100, 200);
    auto voice = rig.voice(sample, gens({{54, 1}, {38, -32768}}));
    VoiceRig::play(*voice);
    rig.bus->mixPosition = 0;
    voice->render(200);
    EXPECT_TRUE(voice->isSounding());
    voice->noteOff(0);
    voice->render(200);
    EXPECT_FALSE(voice->isSounding());
    EXPECT_EQ(rig.bus->mixPosition, 220); // one more block, whose tick finished it
}

TEST(VoiceRender, AbortStopsRenderingAndTheBusEndIsNeverPassed) {
    VoiceRig rig;
    auto sample = test::makeSample(test::ramp(30000), 44100, 60, 100, 200);
    auto voice = rig.voice(sample, gens({{54, 1}}));
    VoiceRig::play(*voice);
    rig.abortRequested = true;
    rig.bus->mixPosition = 0;
    voice->render(100);
    EXPECT_EQ(rig.bus->mixPosition, 0);
    rig.abortRequested = false;
    rig.bus->mixPosition = MixBus::kBlockFrames - 30;
    voice->render(100);
    EXPECT_EQ(rig.bus->mixPosition, MixBus::kBlockFrames);
    voice->render(100);
    EXPECT_EQ(rig.bus->mixPosition, MixBus::kBlockFrames);
}

// Renders the same note with render() on one rig and renderStereo() without partner on
// another; the buses must be identical.
TEST(VoiceStereo, WithoutPartnerItIsRender) {
    VoiceRig a, b;
    auto sampleA = test::makeSample(test::ramp(3000, 7), 30000, 60, 1000, 2000);
    auto sampleB = sampleA;
    const auto generators = gens({{54, 1}, {8, 4000}, {9, 100}, {5, 50}, {22, -500}, {17, 200}});
    auto va = a.voice(sampleA, generators), vb = b.voice(sampleB, generators);
    VoiceRig::play(*va, 64);
    VoiceRig::play(*vb, 64);
    va->render(1234);
    vb->renderStereo(1234);
    vb->setPartner(vb.get()); // a voice paired with itself is no pair either
    va->render(777);
    vb->renderStereo(777);
    ASSERT_EQ(a.bus->mixPosition, b.bus->mixPosition);
    for (int buffer = 0; buffer < MixBus::kBufferCount; ++buffer)
        EXPECT_EQ(std::memcmp(a.bus->buffer(buffer), b.bus->buffer(buffer), sizeof(float) * 2011),
                  0)
            << buffer;
}

TEST(VoiceStereo, PairPlaysInLockstepAndStopsTogether) {
    VoiceRig rig;
    const auto rightData = test::ramp(500, 50);
    const auto leftData = test::ramp(500, -50);
    auto right = test::makeSample(rightData, 44100, 60);
    auto left = test::makeSample(leftData, 44100, 67); // own tuning ignored: follows master
    auto volume = test::concat(test::instantVolume(), gens({{38, -32768}}));
    auto master = rig.voice(right, volume);
    auto partner = rig.voice(left, volume);
    master->start(60, 127, 0.0f, 0, 0, 0, 500, true, false);
    partner->start(60, 127, 0.0f, 0, 0, 0, -500, true, false);
    master->setPartner(partner.get());
    rig.bus->mixPosition = 0;
    master->renderStereo(100);
    EXPECT_EQ(rig.bus->mixPosition, 100);
    for (int i = 20; i < 100; ++i) {
        EXPECT_FLOAT_EQ(rig.at(MixBus::DryRight, i), rightData[i] / 32768.0f) << i;
        EXPECT_FLOAT_EQ(rig.at(MixBus::DryLeft, i), leftData[i] / 32768.0f) << i;
    }
    EXPECT_EQ(partner->oscillator().position(), master->oscillator().position());
    EXPECT_EQ(partner->vibratoLfo().phase(), Lfo::Phase::Delay); // never ticked
    EXPECT_NE(partner->modulationLfo().phase(), Lfo::Phase::Delay);
    master->noteOff(0);
    master->renderStereo(100);
    EXPECT_FALSE(master->isSounding());
    EXPECT_FALSE(partner->isSounding());
}

TEST(VoiceStereo, ShorterPartnerFallsSilentAndMayOutliveItsMaster) {
    VoiceRig rig;
    auto right = test::makeSample(test::ramp(400, 50), 44100, 60, 300, 390);
    auto left = test::makeSample(test::ramp(60, 50), 44100, 60);
    auto master = rig.voice(right, test::concat(test::instantVolume(), gens({{54, 1}})));
    auto partner = rig.voice(left, test::instantVolume());
    master->start(60, 127, 0.0f, 0, 0, 0, 500, true, false);
    partner->start(60, 127, 0.0f, 0, 0, 0, -500, true, false);
    master->setPartner(partner.get());
    rig.bus->mixPosition = 0;
    master->renderStereo(1000);
    EXPECT_TRUE(master->isSounding());
    EXPECT_FALSE(partner->isSounding());
    for (int i = 60; i < 1000; ++i)
        ASSERT_EQ(rig.at(MixBus::DryLeft, i), 0.0f) << i;
    // The master goes; the partner renders on its own without harm.
    master.reset();
    partner->start(60, 127, 0.0f, 0, 0, 0, -500, true, false);
    rig.bus->mixPosition = 0;
    partner->render(100);
    partner->renderStereo(100);
    EXPECT_FALSE(partner->isSounding());
}

TEST(VoiceSamples, AVoiceKeepsItsBufferWhileTheStoreRegrowsIt) {
    // A raw sample file: 100 frames, then 100 more that a longer zone can address.
    test::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 223; ++i) {
        const auto v = static_cast<std::int16_t>(i * 10);
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    const std::string path = dir.write("sample.raw", bytes);
    const int fd = file::openRead(path);
    ASSERT_GE(fd, 0);
    SampleHeader sample;
    sample.playLength = 100;
    sample.storedLength = 100;
    sample.sampleRate = 44100;
    sample.originalPitch = 60;
    sample.handle = fd;

    VoiceRig rig;
    auto shortVoice = rig.voice(sample, test::instantVolume());
    VoiceRig::play(*shortVoice);
    ASSERT_TRUE(sample.data);
    EXPECT_EQ(sample.residentLength, 100);
    const auto firstBuffer = sample.data;
    auto longVoice = rig.voice(sample, test::concat(test::instantVolume(), gens({{1, 80}})));
    VoiceRig::play(*longVoice);
    EXPECT_EQ(sample.storedLength, 180);
    EXPECT_EQ(sample.residentLength, 180);
    EXPECT_NE(sample.data, firstBuffer); // regrown
    EXPECT_EQ(shortVoice->oscillator().data(), firstBuffer);

    rig.bus->mixPosition = 0;
    shortVoice->render(200);
    EXPECT_EQ(rig.bus->mixPosition, 100);
    rig.bus->mixPosition = 0;
    longVoice->render(200);
    EXPECT_EQ(rig.bus->mixPosition, 180);
    for (int i = 20; i < 180; ++i) {
        const float expected = (i < 100 ? 2.0f : 1.0f) * 0.5f * (i * 10 / 32768.0f);
        ASSERT_FLOAT_EQ(rig.at(MixBus::DryLeft, i), expected) << i;
    }
    file::close(fd);
}

} // namespace
} // namespace korvelt
