// The low-frequency oscillators, the filter and the amplifier.
#include "voice/Amplifier.h"
#include "voice/Lfo.h"
#include "voice/LowPassFilter.h"
#include "voice/ModulationEnvelope.h"
#include "voice/VolumeEnvelope.h"

#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace korvelt {
namespace {

Lfo preparedLfo(int delay, int frequency) {
    Lfo lfo;
    lfo.applyGenerator(Generator{21, static_cast<std::int16_t>(delay)}, false);
    lfo.applyGenerator(Generator{22, static_cast<std::int16_t>(frequency)}, false);
    lfo.prepare();
    lfo.reset();
    return lfo;
}

TEST(Lfo, DefaultsGiveTwoDelayTicksThenAn8HzTriangle) {
    Lfo lfo;
    lfo.prepare();
    lfo.reset();
    EXPECT_EQ(lfo.delayTicks(), 2);
    EXPECT_NEAR(lfo.step(), 0.01483f, 0.00001f);
    lfo.tick();
    lfo.tick();
    lfo.tick(); // switches to Rising without moving
    EXPECT_EQ(lfo.phase(), Lfo::Phase::Rising);
    EXPECT_FLOAT_EQ(lfo.value(), 0.0f);
    lfo.tick();
    EXPECT_FLOAT_EQ(lfo.value(), lfo.step());
    // A whole cycle takes about 2205 / 8.176 ticks.
    int ticks = 1;
    while (lfo.phase() == Lfo::Phase::Rising && ticks < 1000) {
        lfo.tick();
        ++ticks;
    }
    EXPECT_FLOAT_EQ(lfo.value(), 1.0f); // the peak is held for the tick that reaches it
    EXPECT_NEAR(ticks, 2205.0 / 8.176 / 4.0, 1.0);
}

TEST(Lfo, FrequencyInAbsoluteCents) {
    const Lfo lfo = preparedLfo(-12000, -725);
    EXPECT_NEAR(lfo.step() * 2205.0 / 4.0, 5.4, 0.03);
}

TEST(Lfo, DelayOfMinus32768AndOfZeroMeanNoDelay) {
    for (int delay : {-32768, 0}) {
        Lfo lfo = preparedLfo(delay, 0);
        EXPECT_EQ(lfo.delayTicks(), 0) << delay;
        lfo.tick();
        EXPECT_EQ(lfo.phase(), Lfo::Phase::Rising);
        EXPECT_FLOAT_EQ(lfo.value(), 0.0f);
        lfo.tick();
        EXPECT_FLOAT_EQ(lfo.value(), lfo.step());
    }
    EXPECT_EQ(preparedLfo(0 + 1200, 0).delayTicks(), 4410);
}

TEST(Lfo, StepsAboveTwoJumpBetweenThePeaks) {
    Lfo lfo = preparedLfo(-32768, 12000); // about 8372 Hz: step > 2
    ASSERT_GT(lfo.step(), 2.0f);
    lfo.tick();
    const float expected[] = {1.0f, -1.0f, 1.0f, -1.0f};
    const Lfo::Phase phases[] = {Lfo::Phase::Falling, Lfo::Phase::Rising, Lfo::Phase::Falling,
                                 Lfo::Phase::Rising};
    for (int i = 0; i < 4; ++i) {
        lfo.tick();
        EXPECT_FLOAT_EQ(lfo.value(), expected[i]);
        EXPECT_EQ(lfo.phase(), phases[i]);
    }
}

TEST(Lfo, TurnsBelowMinusOneAndAtPlusOne) {
    Lfo lfo = preparedLfo(-32768, 7200); // step about 0.95
    lfo.tick();
    float previous = 0.0f;
    for (int i = 0; i < 40; ++i) {
        const Lfo::Phase before = lfo.phase();
        lfo.tick();
        EXPECT_GE(lfo.value(), -1.0f);
        EXPECT_LE(lfo.value(), 1.0f);
        if (before == Lfo::Phase::Rising && lfo.value() == 1.0f) {
            EXPECT_EQ(lfo.phase(), Lfo::Phase::Falling);
        }
        if (before == Lfo::Phase::Falling && previous - lfo.step() < -1.0f) {
            EXPECT_EQ(lfo.phase(), Lfo::Phase::Rising);
            EXPECT_EQ(lfo.value(), -1.0f);
        }
        previous = lfo.value();
    }
}

struct FilterRig {
    ModulationEnvelope envelope;
    Lfo lfo;
    LowPassFilter filter{envelope, lfo};

    explicit FilterRig(std::initializer_list<std::pair<int, int>> generators) {
        for (const Generator& g : test::gens(generators))
            filter.applyGenerator(g, false);
        envelope.prepare();
        lfo.prepare();
    }
};

TEST(LowPassFilter, OnAndOffRules) {
    {
        FilterRig rig({});
        for (int v : {1, 64, 127}) {
            rig.filter.start(v);
            EXPECT_FALSE(rig.filter.isOn()) << v;
        }
    }
    {
        FilterRig rig({{8, 13500}, {9, 10}});
        rig.filter.start(127);
        ASSERT_TRUE(rig.filter.isOn());
        EXPECT_NEAR(rig.filter.cutoff(), 19912.0f, 1.0f);
        EXPECT_FLOAT_EQ(rig.filter.resonanceFactor(), 2.0f);
    }
    {
        FilterRig rig({{8, 14000}, {9, 10}});
        rig.filter.start(127);
        EXPECT_FALSE(rig.filter.isOn()); // about 26 kHz
        rig.filter.start(20);
        EXPECT_TRUE(rig.filter.isOn());
    }
}

TEST(LowPassFilter, LowVelocityLowersTheCutoff) {
    FilterRig rig({{8, 6900}});
    rig.filter.start(127);
    EXPECT_FLOAT_EQ(rig.filter.cutoff(), 440.0f);
    rig.filter.start(1); // 2362 cents lower
    EXPECT_NEAR(rig.filter.cutoff(), 440.0 / std::exp2(2362 / 1200.0), 0.001);
}

TEST(LowPassFilter, UnityGainAtZeroHertz) {
    for (int resonance : {0, 100, 400}) {
        FilterRig rig({{8, 5000}, {9, resonance}});
        rig.filter.start(127);
        ASSERT_TRUE(rig.filter.isOn());
        double y = 0.0;
        for (int i = 0; i < 200000; ++i)
            y = rig.filter.process(0.25);
        EXPECT_NEAR(y, 0.25, 1e-9) << resonance;
    }
}

TEST(LowPassFilter, BlockProcessingMatchesFrameProcessing) {
    FilterRig a({{8, 9000}, {9, 60}}), b({{8, 9000}, {9, 60}});
    a.filter.start(100);
    b.filter.start(100);
    double block[20];
    for (int i = 0; i < 20; ++i)
        block[i] = std::sin(i * 0.7);
    double frames[20];
    for (int i = 0; i < 20; ++i)
        frames[i] = b.filter.process(block[i]);
    LowPassFilter::Kernel kernel = a.filter.kernel();
    for (double& x : block)
        x = kernel(x);
    a.filter.keep(kernel);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(block[i], frames[i]);
    EXPECT_EQ(a.filter.process(0.5), b.filter.process(0.5)); // the state was handed back
}

TEST(LowPassFilter, ModulationOnlyRaisesTheCutoff) {
    // Modulation LFO swing of +1200 cents: a positive LFO raises the cutoff, a negative
    // one leaves the coefficients of the last positive block.
    FilterRig rig({{8, 6900}, {10, 1200}});
    rig.lfo = Lfo{};
    rig.lfo.applyGenerator(Generator{21, -32768}, false);
    rig.lfo.applyGenerator(Generator{22, 7200}, false); // step about 0.95 per tick
    rig.lfo.prepare();
    rig.lfo.reset();
    rig.filter.start(127);
    EXPECT_FLOAT_EQ(rig.filter.modLfoSwing(), 440.0f);
    const double k0 = rig.filter.k();
    rig.lfo.tick(); // Rising, still 0
    rig.filter.updateCutoff();
    EXPECT_EQ(rig.filter.k(), k0);
    rig.lfo.tick(); // about 0.95
    rig.filter.updateCutoff();
    EXPECT_NEAR(rig.filter.lastCutoff(), 440.0f + 440.0f * rig.lfo.value(), 0.01f);
    const double raised = rig.filter.k();
    EXPECT_NE(raised, k0);
    while (rig.lfo.value() > 0.0f) {
        rig.lfo.tick();
        rig.filter.updateCutoff();
    }
    const double lastPositive = rig.filter.k();
    rig.lfo.tick();
    rig.filter.updateCutoff();
    EXPECT_LT(rig.lfo.value(), 0.0f);
    EXPECT_EQ(rig.filter.k(), lastPositive);
}

struct AmpRig {
    Lfo lfo;
    VolumeEnvelope envelope;
    Amplifier amp{lfo, envelope};

    explicit AmpRig(std::initializer_list<std::pair<int, int>> generators = {}) {
        for (const Generator& g : test::gens(generators))
            amp.applyGenerator(g, false);
        // Volume envelope straight to full level.
        envelope.applyGenerator(Generator{33, -32768}, false);
        envelope.applyGenerator(Generator{34, -32768}, false);
        envelope.prepare();
        envelope.start(60);
        lfo.prepare();
        lfo.reset();
    }
    void toSustain() {
        for (int i = 0; i < 4; ++i)
            envelope.tick();
    }
};

TEST(Amplifier, VelocityAndFullLevel) {
    AmpRig rig;
    rig.toSustain();
    ASSERT_EQ(rig.envelope.phase(), EnvelopePhase::Sustain);
    rig.amp.start(0.0f, 127, false);
    rig.amp.updateGain();
    EXPECT_FLOAT_EQ(rig.amp.gain(), 1.0f);
    rig.amp.start(0.0f, 64, false);
    EXPECT_NEAR(rig.amp.velocityAttenuation(), 59.5f, 0.05f);
    rig.amp.updateGain();
    EXPECT_NEAR(rig.amp.gain(), 0.504f, 0.0005f);
    rig.amp.start(0.0f, 0, false);
    EXPECT_FLOAT_EQ(rig.amp.velocityAttenuation(), 0.0f);
}

TEST(Amplifier, SoftPedalDoublesTheAttenuation) {
    AmpRig rig({{48, 60}});
    rig.toSustain();
    rig.amp.start(0.0f, 127, true);
    rig.amp.updateGain();
    EXPECT_NEAR(rig.amp.gain(), std::pow(10.0, -120.0 / 200.0), 1e-6);
}

TEST(Amplifier, SilentFrom1000Centibels) {
    AmpRig rig({{48, 1000}});
    rig.toSustain();
    rig.amp.start(0.0f, 127, false);
    rig.amp.updateGain();
    EXPECT_EQ(rig.amp.gain(), 0.0f);
    // In Delay the envelope alone is 1000 cB: silent unless other terms are negative.
    AmpRig delayed;
    delayed.envelope.start(60);
    delayed.amp.start(0.0f, 127, false);
    delayed.amp.updateGain();
    EXPECT_EQ(delayed.amp.gain(), 0.0f);
    delayed.amp.start(-100.0f, 127, false);
    delayed.amp.updateGain();
    EXPECT_NEAR(delayed.amp.gain(), std::pow(10.0, -900.0 / 200.0), 1e-9);
}

TEST(Amplifier, ChannelChangesAreSmoothedInFixedSteps) {
    AmpRig rig;
    rig.toSustain();
    rig.amp.start(0.0f, 127, false);
    rig.amp.setChannelAttenuation(10.0f);
    float values[8];
    for (float& v : values) {
        rig.amp.updateGain();
        v = rig.amp.currentAttenuation();
    }
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(values[i], 1.741f * (i + 1), 1e-4f);
    EXPECT_NEAR(values[4], 10.0f - 1.295f, 1e-3f);
    EXPECT_NEAR(values[5], 10.446f, 1e-3f); // the sixth step overshoots
    EXPECT_NEAR(values[6], 10.446f - 1.741f, 1e-3f);
    EXPECT_NEAR(values[7], 10.446f, 1e-3f); // and then alternates
    EXPECT_NEAR(rig.amp.gain(), std::pow(10.0f, -values[7] / 200.0f), 1e-6f);
    // The same attenuation again changes nothing at all.
    AmpRig same;
    same.amp.start(37.3f, 90, false);
    same.amp.setChannelAttenuation(37.3f);
    same.amp.updateGain();
    EXPECT_EQ(same.amp.currentAttenuation(), same.amp.targetAttenuation());
}

TEST(Amplifier, TremoloLowersTheAttenuationWhileTheLfoIsPositive) {
    for (int depth : {100, -100}) {
        AmpRig rig({{13, depth}});
        rig.lfo = Lfo{};
        rig.lfo.applyGenerator(Generator{21, -32768}, false);
        rig.lfo.applyGenerator(Generator{22, 12000}, false); // jumps straight to +1
        rig.lfo.prepare();
        rig.lfo.reset();
        rig.lfo.tick();
        rig.lfo.tick();
        ASSERT_FLOAT_EQ(rig.lfo.value(), 1.0f);
        rig.toSustain();
        rig.amp.start(200.0f, 127, false);
        rig.amp.updateGain();
        EXPECT_NEAR(rig.amp.gain(), std::pow(10.0, -100.0 / 200.0), 1e-6) << depth;
    }
}

TEST(Amplifier, AbsurdNegativeAttenuationStaysFinite) {
    AmpRig rig({{48, -32768}});
    rig.toSustain();
    rig.amp.start(-32768.0f, 127, true);
    rig.amp.updateGain();
    EXPECT_TRUE(std::isfinite(rig.amp.gain()));
    EXPECT_GT(rig.amp.gain(), 1.0f);
}

} // namespace
} // namespace korvelt
