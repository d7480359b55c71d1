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
Envelope prepared(std::initializer_list<std::pair<int, int>> generators) {
    Envelope envelope;
    for (const Generator& g : test::gens(generators))
        envelope.applyGenerator(g, false);
    envelope.prepare();
    return envelope;
}

template <class Envelope>
int ticksWhile(Envelope& envelope, Phase phase) {
    int n = 0;
    for (; envelope.phase() == phase && n < 100000; ++n)
        envelope.tick();
    return n;
}

TEST(TimeConversion, TicksAndKeyScaling) {
    EXPECT_EQ(voice::timecentsToTicks(-12000), 2);
    EXPECT_EQ(voice::timecentsToTicks(0), 2205);
    EXPECT_EQ(voice::timecentsToTicks(1200), 4410);
    EXPECT_EQ(voice::timecentsToTicks(-32768), 0);
    EXPECT_EQ(voice::timecentsToTicks(2147483647), 2147483647); // saturates
    // 100 timecents per key: x4 at key 36, /4 at key 84, unchanged at 60.
    EXPECT_EQ(voice::keyScaledTicks(0, 100, 36), 4 * 2205);
    EXPECT_EQ(voice::keyScaledTicks(0, 100, 84), 2205 / 4);
    EXPECT_EQ(voice::keyScaledTicks(0, 100, 60), 2205);
    EXPECT_EQ(voice::keyScaledTicks(0, 32767, 0), 2147483647);
    // A hold of -32768 is no hold, whatever the scaling.
    auto env = prepared<VolumeEnvelope>({{35, -32768}, {39, 100}, {36, 0}, {40, -100}});
    env.start(36);
    EXPECT_EQ(env.holdTicks(), 0);
    EXPECT_EQ(env.decayTicks(), 2205 / 4);
}

TEST(VolumeEnvelope, DefaultsRunThroughAttackHoldToSustain) {
    auto env = prepared<VolumeEnvelope>({});
    env.start(60);
    const Phase phases[] = {Phase::Delay, Phase::Delay, Phase::Attack, Phase::Attack,
                            Phase::Hold,  Phase::Hold,  Phase::Hold,   Phase::Sustain};
    const float attenuations[] = {1000.0f, 1000.0f, 1000.0f, 221.85f, 0, 0, 0, 0};
    for (int t = 0; t < 8; ++t) {
        env.tick();
        EXPECT_EQ(env.phase(), phases[t]) << "tick " << t + 1;
        EXPECT_NEAR(env.attenuation(), attenuations[t], 0.01f) << "tick " << t + 1;
    }
}

TEST(VolumeEnvelope, AttackFollowsFifthPowerCurveInAmplitude) {
    auto env = prepared<VolumeEnvelope>({{33, -32768}, {34, -8141}}); // 20 attack ticks
    ASSERT_EQ(env.attackTicks(), 20);
    env.start(60);
    env.tick(); // enters Attack at ramp value 1
    // The ramp rises by 10/20 per tick from 1 to 10: 18 ticks of attack.
    for (int n = 1; n < 18; ++n) {
        env.tick();
        ASSERT_EQ(env.phase(), Phase::Attack);
        const double amplitude = std::pow(10.0, -env.attenuation() / 200.0);
        EXPECT_NEAR(amplitude, std::pow((1.0 + 9.0 * n / 18.0) / 10.0, 5.0), 1e-5) << n;
    }
    env.tick();
    EXPECT_EQ(env.phase(), Phase::Hold);
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
    env.tick(); // 1000 cB per release time of 2205 ticks
    EXPECT_NEAR(env.attenuation(), 259.637f + 1000.0f / 2205.0f, 0.01f);
    EXPECT_NEAR(ticksWhile(env, Phase::Release), 1632, 1); // (1000 - 259.6) / step
    EXPECT_TRUE(env.isFinished());
}

TEST(VolumeEnvelope, AReleaseBeyondTheSoundFontLimitIsHeldThereAndEnds) {
    // 20000 timecents would be 29 hours, whose steps vanish in a float's precision.
    auto longest = prepared<VolumeEnvelope>({{33, -32768}, {34, -32768}, {38, 8000}});
    auto beyond = prepared<VolumeEnvelope>({{33, -32768}, {34, -32768}, {38, 20000}});
    for (auto* env : {&longest, &beyond}) {
        env->start(60);
        env->tick();
        env->release();
    }
    int ticks = 0;
    for (; !beyond.isFinished() && ticks < 1000000; ++ticks) {
        beyond.tick();
        longest.tick();
        ASSERT_EQ(beyond.attenuation(), longest.attenuation());
    }
    EXPECT_TRUE(beyond.isFinished());
    // About 100 seconds (the float level adds its steps with a little rounding).
    EXPECT_NEAR(ticks, std::pow(2.0, 8000.0 / 1200.0) * 2205, 500);
}

TEST(VolumeEnvelope, DecayRunsPastSilenceToALargeSustain) {
    auto env = prepared<VolumeEnvelope>({{33, -32768}, {34, -32768}, {35, -32768}, {37, 1440}});
    env.start(60);
    env.tick(); // straight to Hold at 0 cB
    env.tick(); // hold of 0 ticks ends: decay 1000 cB per 2 ticks
    EXPECT_EQ(env.phase(), Phase::Decay);
    env.tick();
    EXPECT_FLOAT_EQ(env.attenuation(), 500.0f);
    env.tick();
    env.tick();
    EXPECT_FLOAT_EQ(env.attenuation(), 1440.0f);
    EXPECT_EQ(env.phase(), Phase::Sustain);
    // A release of 0 ticks finishes on its first tick.
    auto quick = prepared<VolumeEnvelope>({{38, -32768}});
    quick.start(60);
    quick.release(); // from Delay, at 1000 cB
    quick.tick();
    EXPECT_TRUE(quick.isFinished());
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
    EXPECT_NEAR(ticksWhile(env, Phase::Attack), 19, 1);
    EXPECT_FLOAT_EQ(env.level(), 1.0f);
    env.tick(); // hold of 0 ticks ends
    EXPECT_EQ(env.phase(), Phase::Decay);
    env.tick();
    EXPECT_FLOAT_EQ(env.level(), 0.95f);
    EXPECT_NEAR(ticksWhile(env, Phase::Decay), 9, 1); // half the full fall of 20 ticks
    EXPECT_FLOAT_EQ(env.level(), 0.5f);
    env.release();
    env.tick();
    EXPECT_NEAR(env.level(), 0.5f - 1.0f / 2205.0f, 1e-6f);
    // An attack of -32768 goes from Delay straight to Hold at full level.
    auto instant = prepared<ModulationEnvelope>({{25, -32768}, {26, -32768}});
    instant.start(60);
    instant.tick();
    EXPECT_EQ(instant.phase(), Phase::Hold);
    EXPECT_FLOAT_EQ(instant.level(), 1.0f);
}

} // namespace
} // namespace korvelt
