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
    for (int i = 0; i < 3; ++i) // two delay ticks, then the switch to Rising
        lfo.tick();
    EXPECT_EQ(lfo.phase(), Lfo::Phase::Rising);
    EXPECT_FLOAT_EQ(lfo.value(), 0.0f);
    int ticks = 0;
    for (; lfo.phase() == Lfo::Phase::Rising && ticks < 1000; ++ticks)
        lfo.tick();
    EXPECT_FLOAT_EQ(lfo.value(), 1.0f); // the peak is held for the tick that reaches it
    EXPECT_NEAR(ticks, 2205.0 / 8.176 / 4.0, 1.0);
    EXPECT_NEAR(preparedLfo(-12000, -725).step() * 2205.0 / 4.0, 5.4, 0.03);
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
    EXPECT_EQ(preparedLfo(1200, 0).delayTicks(), 4410);
}

TEST(Lfo, StepsAboveTwoJumpBetweenThePeaks) {
    Lfo lfo = preparedLfo(-32768, 12000); // about 8372 Hz
    ASSERT_GT(lfo.step(), 2.0f);
    lfo.tick();
    for (float expected : {1.0f, -1.0f, 1.0f, -1.0f}) {
        lfo.tick();
        EXPECT_FLOAT_EQ(lfo.value(), expected);
        EXPECT_EQ(lfo.phase(), expected > 0 ? Lfo::Phase::Falling : Lfo::Phase::Rising);
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
    FilterRig plain({});
    for (int v : {1, 64, 127}) {
        plain.filter.start(v);
        EXPECT_FALSE(plain.filter.isOn()) << v;
    }
    FilterRig resonant({{8, 13500}, {9, 10}});
    resonant.filter.start(127);
    ASSERT_TRUE(resonant.filter.isOn());
    EXPECT_NEAR(resonant.filter.cutoff(), 19912.0f, 1.0f);
    EXPECT_FLOAT_EQ(resonant.filter.resonanceFactor(), 2.0f);
    FilterRig high({{8, 14000}, {9, 10}});
    high.filter.start(127);
    EXPECT_FALSE(high.filter.isOn()); // about 26 kHz
    high.filter.start(20);
    EXPECT_TRUE(high.filter.isOn());
    // Velocity 1 lowers the cutoff by 2362 cents.
    FilterRig a440({{8, 6900}});
    a440.filter.start(127);
    EXPECT_FLOAT_EQ(a440.filter.cutoff(), 440.0f);
    a440.filter.start(1);
    EXPECT_NEAR(a440.filter.cutoff(), 440.0 / std::exp2(2362 / 1200.0), 0.001);
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

TEST(LowPassFilter, ModulationOnlyRaisesTheCutoff) {
    // Modulation LFO swing of +1200 cents: a positive LFO raises the cutoff, a negative
    // one leaves the coefficients of the last positive block.
    FilterRig rig({{8, 6900}, {10, 1200}});
    rig.lfo = preparedLfo(-32768, 7200); // step about 0.95 per tick
    rig.filter.start(127);
    EXPECT_FLOAT_EQ(rig.filter.modLfoSwing(), 440.0f);
    const double k0 = rig.filter.k();
    rig.lfo.tick(); // Rising, still 0
    rig.filter.updateCutoff();
    EXPECT_EQ(rig.filter.k(), k0);
    rig.lfo.tick();
    rig.filter.updateCutoff();
    EXPECT_NEAR(rig.filter.lastCutoff(), 440.0f + 440.0f * rig.lfo.value(), 0.01f);
    EXPECT_NE(rig.filter.k(), k0);
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

    // The volume envelope in Sustain at 0 cB unless `delayed`.
    explicit AmpRig(std::initializer_list<std::pair<int, int>> generators = {},
                    bool delayed = false) {
        for (const Generator& g : test::gens(generators))
            amp.applyGenerator(g, false);
        envelope.applyGenerator(Generator{33, -32768}, false);
        envelope.applyGenerator(Generator{34, -32768}, false);
        envelope.prepare();
        envelope.start(60);
        for (int i = 0; i < 4 && !delayed; ++i)
            envelope.tick();
        lfo.prepare();
        lfo.reset();
    }
    float gain(float channel, int velocity, bool soft = false) {
        amp.start(channel, velocity, soft);
        amp.updateGain();
        return amp.gain();
    }
};

TEST(Amplifier, GainFromVelocityAttenuationAndSoftPedal) {
    AmpRig rig;
    ASSERT_EQ(rig.envelope.phase(), EnvelopePhase::Sustain);
    EXPECT_FLOAT_EQ(rig.gain(0.0f, 127), 1.0f);
    EXPECT_NEAR(rig.gain(0.0f, 64), 0.504f, 0.0005f);
    EXPECT_NEAR(rig.amp.velocityAttenuation(), 59.5f, 0.05f);
    EXPECT_FLOAT_EQ(rig.gain(0.0f, 0), 1.0f); // velocity 0 adds nothing
    EXPECT_NEAR(rig.gain(60.0f, 127, true), std::pow(10.0, -120.0 / 200.0), 1e-6); // -6 -> -12 dB
    AmpRig silent({{48, 1000}});
    EXPECT_EQ(silent.gain(0.0f, 127), 0.0f); // exactly 1000 cB
    AmpRig delayed({}, true);                // envelope in Delay: 1000 cB
    EXPECT_EQ(delayed.gain(0.0f, 127), 0.0f);
    EXPECT_NEAR(delayed.gain(-100.0f, 127), std::pow(10.0, -900.0 / 200.0), 1e-9);
    AmpRig absurd({{48, -32768}});
    EXPECT_TRUE(std::isfinite(absurd.gain(-32768.0f, 127, true)));
}

TEST(Amplifier, ChannelChangesMoveInFixedStepsAndSettleOnTheTarget) {
    for (float sign : {1.0f, -1.0f}) {
        AmpRig rig;
        rig.amp.start(0.0f, 127, false);
        rig.amp.setChannelAttenuation(sign * 10.0f);
        // Five steps of 1.741 cB leave 1.295 cB: the sixth block is on the target.
        for (float e : {1.741f, 3.482f, 5.223f, 6.964f, 8.705f}) {
            rig.amp.updateGain();
            EXPECT_NEAR(rig.amp.currentAttenuation(), sign * e, 1e-3f);
        }
        rig.amp.updateGain();
        const float settled = rig.amp.gain();
        EXPECT_FLOAT_EQ(settled, std::pow(10.0f, -sign * 10.0f / 200.0f));
        for (int block = 0; block < 50; ++block) {
            ASSERT_EQ(rig.amp.currentAttenuation(), sign * 10.0f) << block;
            ASSERT_EQ(rig.amp.gain(), settled) << block;
            rig.amp.updateGain();
        }
    }
    // The same attenuation again changes nothing at all.
    AmpRig rig;
    rig.amp.start(37.3f, 90, false);
    rig.amp.setChannelAttenuation(37.3f);
    rig.amp.updateGain();
    EXPECT_EQ(rig.amp.currentAttenuation(), rig.amp.targetAttenuation());
}

TEST(Amplifier, TremoloLowersTheAttenuationWhileTheLfoIsPositive) {
    for (int depth : {100, -100}) {
        AmpRig rig({{13, depth}});
        rig.lfo = preparedLfo(-32768, 12000); // jumps straight to +1
        rig.lfo.tick();
        rig.lfo.tick();
        ASSERT_FLOAT_EQ(rig.lfo.value(), 1.0f);
        EXPECT_NEAR(rig.gain(200.0f, 127), std::pow(10.0, -100.0 / 200.0), 1e-6) << depth;
    }
}

} // namespace
} // namespace korvelt
