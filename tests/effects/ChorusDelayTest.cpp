#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/Chorus.h"
#include "effects/Delay.h"
#include "effects/ModulatedLine.h"

namespace korvelt {
namespace {

TEST(Chorus, ConstantSendIsAddedExactlyOnceTheLinesAreFull) {
    Chorus chorus;
    const float c = 0.123456f;
    for (int i = 0; i < 30000; ++i) {
        float L = 0.25f, R = -0.5f;
        chorus.process(c, c, L, R);
        if (i >= Chorus::kLength) {
            ASSERT_EQ(L, 0.25f + c) << i;
            ASSERT_EQ(R, -0.5f + c) << i;
        }
    }
    // clear empties the lines, the index and the phase run on.
    chorus.clear();
    EXPECT_EQ(chorus.writeIndex(), 30000 % 2048);
    EXPECT_EQ(chorus.phase(), 30000 % 22050);
    float L = 0.0f, R = 0.0f;
    chorus.process(c, c, L, R);
    EXPECT_EQ(L, 0.0f);
    EXPECT_EQ(R, 0.0f);
}

TEST(Chorus, SweepsTwentyFiveToTwentyEightMsLeftAndThirtyThreeToThirtySixRight) {
    // A ramp through the chorus comes out delayed by exactly each frame's delay.
    Chorus chorus;
    double lowest = 1e9, highest = 0;
    for (int i = 0; i < 50000; ++i) {
        const int phase = chorus.phase();
        const float send = static_cast<float>(i) * 0.01f;
        float L = 0.0f, R = 0.0f;
        chorus.process(send, send, L, R);
        if (i < 2000)
            continue;
        const double dL = modulation::delayFrames(3.0, 25.0, phase);
        const double dR = modulation::delayFrames(3.0, 33.0, modulation::rightPhase(phase));
        ASSERT_NEAR(L, (i - dL) * 0.01, 0.01 * 0.01) << i;
        ASSERT_NEAR(R, (i - dR) * 0.01, 0.01 * 0.01) << i;
        lowest = std::min(lowest, i - L / 0.01);
        highest = std::max(highest, i - R / 0.01);
    }
    EXPECT_NEAR(lowest, 25.0 * 44.1, 0.5);
    EXPECT_NEAR(highest, 36.0 * 44.1, 0.5);
}

TEST(Delay, EchoesAtTheDelayTimeThenScaledByTheFeedback) {
    Delay delay;
    delay.setParameters(100, 0, 0.5f, 0.25f, 0);
    std::vector<float> out(20000);
    for (int i = 0; i < 20000; ++i) {
        float L = i == 0 ? 1.0f : 0.0f, R = 0.0f;
        delay.process(L, R);
        out[i] = L;
    }
    EXPECT_EQ(out[0], 0.75f); // the dry share
    EXPECT_EQ(out[4410], 0.25f);
    EXPECT_EQ(out[8820], 0.25f * 0.5f);
    EXPECT_EQ(out[13230], 0.25f * 0.5f * 0.5f);
    for (int i = 1; i < 20000; ++i) {
        if (i % 4410 != 0) {
            ASSERT_EQ(out[i], 0.0f) << i;
        }
    }
}

TEST(Delay, StereoSpreadDelaysTheRightEcho) {
    Delay delay;
    delay.setParameters(100, 0, 0.0f, 1.0f, 40);
    int left = -1, right = -1;
    for (int i = 0; i < 10000; ++i) {
        float L = i == 0 ? 1.0f : 0.0f, R = L;
        delay.process(L, R);
        if (L != 0.0f)
            left = i;
        if (R != 0.0f)
            right = i;
    }
    EXPECT_EQ(left, 4410);
    EXPECT_EQ(right, 4410 + 1764);
}

TEST(Delay, FullAmountRemovesTheDrySignal) {
    Delay delay;
    delay.setParameters(20, 0, 0.0f, 1.0f, 0);
    for (int i = 0; i < 882; ++i) {
        float L = 0.7f, R = -0.3f;
        delay.process(L, R);
        ASSERT_EQ(L, 0.0f) << i;
        ASSERT_EQ(R, 0.0f) << i;
    }
    float L = 0.7f, R = -0.3f;
    delay.process(L, R);
    EXPECT_EQ(L, 0.7f);
    EXPECT_EQ(R, -0.3f);
}

// The first frame at which an impulse at frame 0 comes back.
int echoFrame(int timeMs, int modulationMs, int spreadMs, bool right) {
    Delay delay;
    delay.setParameters(timeMs, modulationMs, 0.0f, 1.0f, spreadMs);
    for (int i = 0; i < 2 * Delay::kLength; ++i) {
        float L = i == 0 ? 1.0f : 0.0f, R = L;
        delay.process(L, R);
        if ((right ? R : L) != 0.0f)
            return i;
    }
    return -1;
}

TEST(Delay, DelayIsHeldWithinTheLine) {
    // 1000 ms + 20 ms of sweep + 40 ms of spread would read past the one-second line: the
    // echo comes at the longest delay the line holds.
    EXPECT_EQ(echoFrame(1000, 20, 40, true), Delay::kLength - 1);
    EXPECT_EQ(echoFrame(1000, 0, 0, false), Delay::kLength - 1);
    EXPECT_EQ(echoFrame(999, 0, 0, false), 44055);
    EXPECT_EQ(Delay::boundedDelay(20.0, 1040.0, 11025), 44099.0);
    // Out-of-range settings are held too: no negative or zero delay.
    EXPECT_EQ(echoFrame(0, 0, 0, false), 1);
    EXPECT_EQ(echoFrame(-50, -3, -7, true), 1);
    EXPECT_EQ(echoFrame(100000, 100000, 100000, true), Delay::kLength - 1);
    Delay d;
    d.setParameters(10, 0, 7.0f, -2.0f, 0);
    EXPECT_EQ(d.feedback(), 0.99f);
    EXPECT_EQ(d.amount(), 0.0f);
    d.setParameters(10, 0, std::nanf(""), std::nanf(""), 0);
    EXPECT_EQ(d.feedback(), -0.99f);
    EXPECT_EQ(d.amount(), 0.0f);
}

TEST(Delay, SweptReadFollowsTheDelayContinuously) {
    // A ramp through a swept delay comes out as the ramp delayed by exactly the delay of
    // each frame: the read position moves smoothly between neighbouring frames.
    Delay delay;
    delay.setParameters(50, 20, 0.0f, 1.0f, 10);
    for (int i = 0; i < 60000; ++i) {
        const int phase = delay.phase();
        float L = static_cast<float>(i) * 0.01f, R = L;
        delay.process(L, R);
        if (i < 4000)
            continue;
        const double dL = modulation::delayFrames(20.0, 50.0, phase);
        const double dR = modulation::delayFrames(20.0, 60.0, modulation::rightPhase(phase));
        ASSERT_NEAR(L, (i - dL) * 0.01, 0.01 * 0.01) << i;
        ASSERT_NEAR(R, (i - dR) * 0.01, 0.01 * 0.01) << i;
    }
}

// Random frames with silent stretches.
std::vector<float> noise(std::mt19937& rng, int frames) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(frames);
    for (int i = 0; i < frames; ++i)
        v[i] = (i / 5000) % 3 == 2 ? 0.0f : u(rng);
    return v;
}

void expectSameBits(const std::vector<float>& a, const std::vector<float>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(a[i]), std::bit_cast<std::uint32_t>(b[i]))
            << what << " frame " << i;
}

TEST(ChorusDelay, RunsGiveExactlyTheFrameByFrameResult) {
    std::mt19937 rng(99);
    const int frames = 150000;
    const auto sendL = noise(rng, frames), sendR = noise(rng, frames);
    const auto dryL = noise(rng, frames), dryR = noise(rng, frames);

    Chorus refChorus, fastChorus;
    std::vector<float> refL = dryL, refR = dryR, fastL = dryL, fastR = dryR;
    for (int i = 0; i < frames; ++i)
        refChorus.process(sendL[i], sendR[i], refL[i], refR[i]);
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, int(rng() % 3000));
        fastChorus.processRun(&sendL[done], &sendR[done], &fastL[done], &fastR[done], n);
        done += n;
    }
    expectSameBits(refL, fastL, "chorus left");
    expectSameBits(refR, fastR, "chorus right");
    EXPECT_EQ(refChorus.phase(), fastChorus.phase());
    EXPECT_EQ(refChorus.writeIndex(), fastChorus.writeIndex());

    // The delay with every setting in use, short enough for runs to be longer than the
    // delay, and changing between runs.
    Delay refDelay, fastDelay;
    refL = dryL, refR = dryR, fastL = dryL, fastR = dryR;
    int done = 0;
    int setting = 0;
    while (done < frames) {
        const int n = std::min(frames - done, int(rng() % 3000));
        const int timeMs = setting % 2 == 0 ? 1 : 400;
        const int modulationMs = setting % 3 == 0 ? 0 : 20;
        const float feedback = setting % 4 == 0 ? 0.0f : 0.9f;
        for (Delay* d : {&refDelay, &fastDelay})
            d->setParameters(timeMs, modulationMs, feedback, 0.6f, 40);
        for (int i = done; i < done + n; ++i)
            refDelay.process(refL[i], refR[i]);
        fastDelay.processRun(&fastL[done], &fastR[done], n);
        done += n;
        ++setting;
    }
    expectSameBits(refL, fastL, "delay left");
    expectSameBits(refR, fastR, "delay right");
    EXPECT_EQ(refDelay.phase(), fastDelay.phase());
    EXPECT_EQ(refDelay.writeIndex(), fastDelay.writeIndex());
}

} // namespace
} // namespace korvelt
