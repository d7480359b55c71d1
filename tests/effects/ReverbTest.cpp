#include "effects/Reverb.h"

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

namespace korvelt {
namespace {

// Feeds one send frame of value `x` (left only), then silence, and records the outputs.
void impulseResponse(Reverb& reverb, int frames, std::vector<float>& left,
                     std::vector<float>& right) {
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    for (int i = 0; i < frames; ++i)
        reverb.process(i == 0 ? 1.0f : 0.0f, 0.0f, left[i], right[i]);
}

int firstNonZero(const std::vector<float>& v) {
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != 0.0f)
            return static_cast<int>(i);
    }
    return -1;
}

TEST(Reverb, ConstructedSettings) {
    Reverb reverb;
    EXPECT_FLOAT_EQ(reverb.gain(), 0.015f);
    EXPECT_FLOAT_EQ(reverb.wet1(), 1.0f);
    EXPECT_EQ(reverb.wet2(), 0.0f);
    EXPECT_EQ(reverb.getMode(), 0.0f);
    EXPECT_FLOAT_EQ(reverb.comb(1, 7).damp1, 0.2f);
    EXPECT_EQ(reverb.comb(1, 7).length, 1640);
    EXPECT_EQ(reverb.allpass(1, 3).length, 248);
    EXPECT_EQ(reverb.allpass(0, 3).feedback, 0.5f);
}

TEST(Reverb, RoomSizeHalfAndNoDampingGiveFeedback084Undamped) {
    Reverb reverb;
    reverb.setRoomSize(0.5f);
    reverb.setDamp(0.0f);
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < Reverb::kCombs; ++i) {
            EXPECT_FLOAT_EQ(reverb.comb(ch, i).feedback, 0.84f);
            EXPECT_EQ(reverb.comb(ch, i).damp1, 0.0f);
            EXPECT_EQ(reverb.comb(ch, i).damp2, 1.0f);
        }
    }
    reverb.setRoomSize(1.0f);
    EXPECT_FLOAT_EQ(reverb.comb(1, 7).feedback, 0.98f);
}

TEST(Reverb, ImpulseArrivesAfterTheShortestCombOnEachSide) {
    Reverb reverb;
    std::vector<float> left, right;
    impulseResponse(reverb, 3000, left, right);
    EXPECT_EQ(firstNonZero(left), 1116);
    EXPECT_EQ(firstNonZero(right), 1139);
    // The first echo of the left comb passes the four allpasses: each gives b - x with b = 0,
    // so the sign flips four times and the value is the comb's output, 0.015 at unit wet.
    EXPECT_FLOAT_EQ(left[1116], 0.015f);
}

TEST(Reverb, FullWidthKeepsTheChannelsApart) {
    Reverb reverb;
    // Left output only from the left network: a right-only path would show up at 1139.
    std::vector<float> left, right;
    impulseResponse(reverb, 1139 + 1, left, right);
    EXPECT_EQ(right[1116], 0.0f);
    EXPECT_NE(left[1116], 0.0f);

    reverb.setWidth(0.0f); // mono: each side gets half of both
    EXPECT_FLOAT_EQ(reverb.wet1(), 0.5f);
    EXPECT_FLOAT_EQ(reverb.wet2(), 0.5f);
}

TEST(Reverb, MuteClearsTheLinesUnlessFrozen) {
    Reverb a, b;
    std::vector<float> la, ra, lb, rb;
    impulseResponse(a, 5000, la, ra);
    impulseResponse(b, 5000, lb, rb);

    // Frozen: mute leaves the lines alone, the tail goes on exactly as without mute.
    a.setMode(1.0f);
    b.setMode(1.0f);
    EXPECT_EQ(a.gain(), 0.0f);
    EXPECT_EQ(a.comb(0, 0).feedback, 1.0f);
    a.mute();
    for (int i = 0; i < 3000; ++i) {
        float l1 = 0, r1 = 0, l2 = 0, r2 = 0;
        a.process(0.3f, 0.1f, l1, r1);
        b.process(0.3f, 0.1f, l2, r2);
        ASSERT_EQ(l1, l2) << i;
        ASSERT_EQ(r1, r2) << i;
        if (i == 10) {
            EXPECT_NE(l1, 0.0f); // the frozen tail sounds
        }
    }

    // Not frozen: after mute nothing leaves the network until the lowpass states that
    // mute keeps come back round through the shortest comb.
    a.setMode(0.0f);
    a.mute();
    for (int i = 0; i < 1116; ++i) {
        float l = 0, r = 0;
        a.process(0.0f, 0.0f, l, r);
        ASSERT_EQ(l, 0.0f) << i;
        ASSERT_EQ(r, 0.0f) << i;
    }
}

TEST(Reverb, DecayingTailFlushesToExactZero) {
    Reverb reverb;
    reverb.setRoomSize(0.0f);
    reverb.setDamp(1.0f);
    std::vector<float> left, right;
    impulseResponse(reverb, 600000, left, right);
    for (int i = 590000; i < 600000; ++i) {
        ASSERT_EQ(left[i], 0.0f);
        ASSERT_EQ(right[i], 0.0f);
    }
}

// Sends with loud and quiet stretches, exact zeros and values near and below the smallest
// normal float, so every denormal test is taken both ways.
std::vector<float> testSignal(std::mt19937& rng, int frames) {
    std::vector<float> v(frames);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 0; i < frames; ++i) {
        const int stretch = (i / 3000) % 4;
        if (stretch == 0)
            v[i] = u(rng);
        else if (stretch == 1)
            v[i] = 0.0f;
        else if (stretch == 2)
            v[i] = u(rng) * 1e-36f;
        else if (rng() % 5 == 0)
            v[i] = std::numeric_limits<float>::denorm_min() * float(rng() % 9);
        else
            v[i] = 0.0f;
    }
    return v;
}

TEST(Reverb, RunsGiveExactlyTheFrameByFrameResult) {
    std::mt19937 rng(1234);
    const int frames = 120000;
    const std::vector<float> inL = testSignal(rng, frames);
    const std::vector<float> inR = testSignal(rng, frames);
    std::vector<float> dryL(frames), dryR(frames);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 0; i < frames; ++i) {
        dryL[i] = u(rng);
        dryR[i] = u(rng);
    }

    for (float damp : {0.0f, 0.5f, 1.0f}) {
        Reverb ref, fast;
        for (Reverb* r : {&ref, &fast}) {
            r->setRoomSize(0.9f);
            r->setDamp(damp);
            r->setWidth(0.7f); // both wet gains in use
        }
        std::vector<float> refL = dryL, refR = dryR, fastL = dryL, fastR = dryR;
        for (int i = 0; i < frames; ++i)
            ref.process(inL[i], inR[i], refL[i], refR[i]);
        int done = 0;
        while (done < frames) {
            // Runs of every length, from 0 to past the longest single piece.
            const int n = std::min(frames - done, int(rng() % 700));
            fast.processRun(&inL[done], &inR[done], &fastL[done], &fastR[done], n);
            done += n;
        }
        for (int i = 0; i < frames; ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(refL[i]), std::bit_cast<std::uint32_t>(fastL[i]))
                << "damp " << damp << " frame " << i;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(refR[i]), std::bit_cast<std::uint32_t>(fastR[i]))
                << "damp " << damp << " frame " << i;
        }
        for (int ch = 0; ch < 2; ++ch) {
            for (int i = 0; i < Reverb::kCombs; ++i) {
                EXPECT_EQ(ref.comb(ch, i).index, fast.comb(ch, i).index);
                EXPECT_EQ(ref.comb(ch, i).filterstore, fast.comb(ch, i).filterstore);
            }
        }
    }
}

} // namespace
} // namespace korvelt
