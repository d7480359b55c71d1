#include "voice/ModulationEnvelope.h"
#include "voice/VoiceMath.h"
#include "voice/VolumeEnvelope.h"

#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

namespace korvelt {
namespace {

using Phase = EnvelopePhase;

template <class Envelope>
Envelope prepared(std::initializer_list<std::pair<int, int>> generators, bool additive = false) {
    Envelope envelope;
    for (const Generator& g : test::gens(generators))
        envelope.applyGenerator(g, additive);
    envelope.prepare();
    return envelope;
}

TEST(TimeConversion, TimecentsToTicks) {
    EXPECT_EQ(voice::timecentsToTicks(-12000), 2);
    EXPECT_EQ(voice::timecentsToTicks(0), 2205);
    EXPECT_EQ(voice::timecentsToTicks(1200), 4410);
    EXPECT_EQ(voice::timecentsToTicks(-32768), 0);
    // Far beyond the 32-bit range: saturates instead of overflowing.
    EXPECT_EQ(voice::timecentsToTicks(2147483647), 2147483647);
}

TEST(TimeConversion, KeyScalingStretchesBelowAndShortensAbove60) {
    // keyToHold 100 at key 36 multiplies the ticks by 4, at 84 divides them by 4.
    EXPECT_EQ(voice::keyScaledTicks(0, 100, 36), 4 * 2205);
    EXPECT_EQ(voice::keyScaledTicks(0, 100, 84), 2205 / 4);
    EXPECT_EQ(voice::keyScaledTicks(0, 100, 60), 2205);
    EXPECT_EQ(voice::keyScaledTicks(0, -100, 36), 2205 / 4);
    EXPECT_EQ(voice::keyScaledTicks(0, 0, 0), 2205);
    EXPECT_EQ(voice::keyScaledTicks(0, 32767, 0), 2147483647); // saturates
}

TEST(VolumeEnvelope, DefaultsRunThroughAttackHoldToSustain) {
    auto env = prepared<VolumeEnvelope>({});
    env.start(60);
    EXPECT_FLOAT_EQ(env.attenuation(), 1000.0f);
    const Phase phases[] = {Phase::Delay, Phase::Delay, Phase::Attack, Phase::Attack,
                            Phase::Hold,  Phase::Hold,  Phase::Hold,   Phase::Sustain};
    float attenuations[8];
    for (int t = 0; t < 8; ++t) {
        env.tick();
        attenuations[t] = env.attenuation();
        EXPECT_EQ(env.phase(), phases[t]) << "tick " << t + 1;
    }
    EXPECT_FLOAT_EQ(attenuations[0], 1000.0f);
    EXPECT_FLOAT_EQ(attenuations[1], 1000.0f);
    EXPECT_FLOAT_EQ(attenuations[2], 1000.0f);   // entered Attack at ramp value 1
    EXPECT_NEAR(attenuations[3], 221.8f, 0.05f); // ramp value 6
    for (int t = 4; t < 8; ++t)
        EXPECT_FLOAT_EQ(attenuations[t], 0.0f);
}

TEST(VolumeEnvelope, AttackFollowsFifthPowerCurveInAmplitude) {
    auto env = prepared<VolumeEnvelope>({{33, -32768}, {34, -8141}}); // 20 attack ticks
    ASSERT_EQ(env.attackTicks(), 20);
    env.start(60);
    env.tick(); // enters Attack at ramp value 1
    ASSERT_EQ(env.phase(), Phase::Attack);
    // The ramp rises by 10/20 per tick from 1 to 10: 18 ticks of attack.
    for (int n = 1; n < 18; ++n) {
        env.tick();
        ASSERT_EQ(env.phase(), Phase::Attack);
        const double t = n / 18.0; // share of the attack done
        const double amplitude = std::pow(10.0, -env.attenuation() / 200.0);
        EXPECT_NEAR(amplitude, std::pow((1.0 + 9.0 * t) / 10.0, 5.0), 1e-5) << n;
    }
}

TEST(VolumeEnvelope, ReleaseFromAttackStartsAtTheCurrentAttenuation) {
    auto env = prepared<VolumeEnvelope>({{33, -32768}, {34, -8141}, {38, 0}});
    env.start(60);
    for (int t = 0; t < 10; ++t) // 1 tick to enter, 9 steps of 0.5: ramp value 5.5
        env.tick();
    ASSERT_FLOAT_EQ(env.level(), 5.5f);
    env.release();
    EXPECT_EQ(env.phase(), Phase::Release);
    EXPECT_NEAR(env.attenuation(), 259.6f, 0.05f);
    // Release: 1000 cB per release time (2205 ticks).
    env.tick();
    EXPECT_NEAR(env.attenuation(), 259.637f + 1000.0f / 2205.0f, 0.01f);
}

TEST(VolumeEnvelope, DecayRunsPastSilenceToALargeSustain) {
    auto env = prepared<VolumeEnvelope>({{33, -32768}, {34, -32768}, {35, -32768}, {37, 1440}});
    env.start(60);
    env.tick(); // straight to Hold at 0 cB
    EXPECT_EQ(env.phase(), Phase::Hold);
    env.tick(); // hold of 0 ticks ends: decay 1000 cB per 2 ticks
    EXPECT_EQ(env.phase(), Phase::Decay);
    env.tick();
    EXPECT_FLOAT_EQ(env.attenuation(), 500.0f);
    env.tick();
    env.tick();
    EXPECT_FLOAT_EQ(env.attenuation(), 1440.0f);
    EXPECT_EQ(env.phase(), Phase::Sustain);
}

TEST(VolumeEnvelope, ZeroTickReleaseFinishesOnFirstTickAndDelayReleaseToo) {
    auto env = prepared<VolumeEnvelope>({{38, -32768}});
    env.start(60);
    env.release(); // in Delay: releases from 1000 cB
    EXPECT_EQ(env.phase(), Phase::Release);
    env.tick();
    EXPECT_TRUE(env.isFinished());
    EXPECT_FLOAT_EQ(env.attenuation(), 1000.0f);
    env.release(); // nothing changes once finished
    EXPECT_TRUE(env.isFinished());
}

TEST(VolumeEnvelope, KeyScalingOfHoldAndDecayAtStart) {
    auto env = prepared<VolumeEnvelope>({{35, 0}, {36, 0}, {39, 100}, {40, -100}});
    env.start(36);
    EXPECT_EQ(env.holdTicks(), 4 * 2205);
    EXPECT_EQ(env.decayTicks(), 2205 / 4);
    env.start(84);
    EXPECT_EQ(env.holdTicks(), 2205 / 4);
    EXPECT_EQ(env.decayTicks(), 4 * 2205);
    // A hold of -32768 is no hold, whatever the scaling.
    auto none = prepared<VolumeEnvelope>({{35, -32768}, {39, 100}});
    none.start(0);
    EXPECT_EQ(none.holdTicks(), 0);
}

TEST(VolumeEnvelope, NegativeSustainIsRaisedToZero) {
    auto env = prepared<VolumeEnvelope>({{37, -50}});
    EXPECT_EQ(env.sustain(), 0);
}

TEST(ModulationEnvelope, SustainIsLimitedToItsRange) {
    EXPECT_FLOAT_EQ(prepared<ModulationEnvelope>({{29, 1000}}).sustainLevel(), 0.0f);
    EXPECT_FLOAT_EQ(prepared<ModulationEnvelope>({{29, 1500}}).sustainLevel(), 0.0f);
    EXPECT_FLOAT_EQ(prepared<ModulationEnvelope>({{29, -10}}).sustainLevel(), 1.0f);
    EXPECT_FLOAT_EQ(prepared<ModulationEnvelope>({{29, 250}}).sustainLevel(), 0.75f);
}

TEST(ModulationEnvelope, LinearAttackHoldDecaySustainRelease) {
    // No delay, 20 attack ticks, no hold, decay 1 to 0 in 20 ticks, sustain 0.5, release
    // 1 to 0 in 2205 ticks.
    auto env = prepared<ModulationEnvelope>(
        {{25, -32768}, {26, -8141}, {27, -32768}, {28, -8141}, {29, 500}, {30, 0}});
    env.start(60);
    env.tick();
    EXPECT_EQ(env.phase(), Phase::Attack);
    EXPECT_FLOAT_EQ(env.level(), 0.0f); // does not move on the entering tick
    env.tick();
    EXPECT_FLOAT_EQ(env.level(), 0.05f);
    int attack = 1;
    while (env.phase() == Phase::Attack && attack < 100) {
        env.tick();
        ++attack;
    }
    EXPECT_NEAR(attack, 20, 1); // 1/20 per tick, give or take the rounding of the last
    EXPECT_EQ(env.phase(), Phase::Hold);
    EXPECT_FLOAT_EQ(env.level(), 1.0f);
    env.tick(); // hold of 0 ticks ends
    EXPECT_EQ(env.phase(), Phase::Decay);
    env.tick();
    EXPECT_FLOAT_EQ(env.level(), 0.95f);
    int decay = 1;
    while (env.phase() == Phase::Decay && decay < 100) {
        env.tick();
        ++decay;
    }
    EXPECT_NEAR(decay, 10, 1); // half the full fall of 20 ticks
    EXPECT_EQ(env.phase(), Phase::Sustain);
    EXPECT_FLOAT_EQ(env.level(), 0.5f);
    env.release();
    env.tick();
    EXPECT_NEAR(env.level(), 0.5f - 1.0f / 2205.0f, 1e-6f);
    env.release(); // a second release changes nothing
    EXPECT_EQ(env.phase(), Phase::Release);
}

TEST(ModulationEnvelope, AttackOfMinus32768GoesStraightToHoldAtFullLevel) {
    auto env = prepared<ModulationEnvelope>({{25, -32768}, {26, -32768}});
    env.start(60);
    env.tick();
    EXPECT_EQ(env.phase(), Phase::Hold);
    EXPECT_FLOAT_EQ(env.level(), 1.0f);
}

TEST(ModulationEnvelope, ReleaseInDelayFinishesOnNextTick) {
    auto env = prepared<ModulationEnvelope>({});
    env.start(60);
    env.release();
    env.tick();
    EXPECT_EQ(env.phase(), Phase::Finished);
    EXPECT_FLOAT_EQ(env.level(), 0.0f);
    env.start(60); // back to Delay
    EXPECT_EQ(env.phase(), Phase::Delay);
}

TEST(ModulationEnvelope, ZeroTickDecayReachesSustainOnFirstTick) {
    auto env = prepared<ModulationEnvelope>(
        {{25, -32768}, {26, -32768}, {27, -32768}, {28, -32768}, {29, 1000}});
    env.start(60);
    env.tick(); // Hold at 1
    env.tick(); // Decay
    env.tick();
    EXPECT_EQ(env.phase(), Phase::Sustain);
    EXPECT_FLOAT_EQ(env.level(), 0.0f);
}

TEST(EnvelopeGenerators, AbsoluteSetsAdditiveAdds) {
    ModulationEnvelope env;
    env.applyGenerator(Generator{27, 1200}, false); // hold 1200
    env.applyGenerator(Generator{27, -1200}, true); // + (-1200) = 0
    env.prepare();
    env.start(60);
    EXPECT_EQ(env.holdTicks(), 2205);
}

} // namespace
} // namespace korvelt
