#include "voice/Lfo.h"
#include "voice/ModulationEnvelope.h"
#include "voice/SampleOscillator.h"
#include "voice/VoiceMath.h"

#include "VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace korvelt {
namespace {

using State = SampleOscillator::State;

struct OscRig {
    RecordingNotifier notifier;
    SampleStore store{std::uint64_t(1) << 32, [] { return std::int64_t(1); }};
    ModulationEnvelope envelope;
    Lfo vibrato, modulation;
    SampleHeader sample;
    SampleOscillator osc{sample, envelope, vibrato, modulation};

    explicit OscRig(SampleHeader s, std::initializer_list<std::pair<int, int>> generators = {})
        : sample(std::move(s)) {
        for (const Generator& g : test::gens(generators))
            osc.applyGenerator(g, false);
        envelope.prepare();
        vibrato.prepare();
        modulation.prepare();
    }
    void start(int key = 60, bool keyTracking = true) {
        osc.start(key, keyTracking, store);
        osc.updatePitchModulation();
    }
    std::vector<double> frames(int n) {
        std::vector<double> out;
        for (int i = 0; i < n; ++i)
            out.push_back(osc.next());
        return out;
    }
};

TEST(SampleOscillator, DirectPathReproducesA44100HzSampleExactly) {
    const auto data = test::ramp(50, 321, -8000);
    OscRig rig(test::makeSample(data));
    rig.start();
    ASSERT_TRUE(rig.osc.isDirect());
    EXPECT_EQ(rig.osc.baseIncrement(), 1.0);
    double out[20];
    std::vector<double> all;
    int produced = 0;
    do {
        produced = rig.osc.renderBlock(out, 20);
        all.insert(all.end(), out, out + produced);
    } while (produced == 20);
    ASSERT_EQ(all.size(), 50u); // stops on the frame at which the end is reached
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(all[i], data[i] / 32768.0) << i;
    EXPECT_TRUE(rig.osc.isStopped());
    EXPECT_EQ(rig.osc.next(), 0.0);
}

TEST(SampleOscillator, HalfRateSampleIsInterpolated) {
    OscRig rig(test::makeSample(test::ramp(40, 100), 22050));
    rig.start();
    EXPECT_EQ(rig.osc.baseIncrement(), 0.5);
    EXPECT_FALSE(rig.osc.isDirect());
    const auto v = rig.frames(5);
    const double expected[] = {0, 50, 100, 150, 200};
    for (int i = 0; i < 5; ++i)
        EXPECT_DOUBLE_EQ(v[i], expected[i] / 32768.0);
    // An octave up is close to, but not exactly, 1: still interpolated.
    OscRig up(test::makeSample(test::ramp(40), 22050));
    up.start(72);
    EXPECT_NE(up.osc.baseIncrement(), 1.0);
    EXPECT_NEAR(up.osc.baseIncrement(), 1.0, 1e-5);
    EXPECT_FALSE(up.osc.isDirect());
}

TEST(SampleOscillator, TuningGenerators) {
    OscRig coarse(test::makeSample(test::ramp(40)), {{51, 12}});
    coarse.start();
    EXPECT_DOUBLE_EQ(coarse.osc.baseIncrement(), 2.0);
    OscRig fine(test::makeSample(test::ramp(40)), {{52, -100}});
    fine.start();
    EXPECT_NEAR(fine.osc.baseIncrement(), std::exp2(-1.0 / 12.0), 1e-12);
    // The sample's pitch correction is part of an absolute fine tune.
    auto corrected = test::makeSample(test::ramp(40));
    corrected.pitchCorrection = 20;
    OscRig withCorrection(corrected, {{52, -120}});
    EXPECT_EQ(withCorrection.osc.fineTune(), -100);
    // Root key override: key 72 on a root of 72 plays the sample unchanged.
    OscRig root(test::makeSample(test::ramp(40)), {{58, 72}});
    root.start(72);
    EXPECT_TRUE(root.osc.isDirect());
    // A root key outside 0...127 falls back to the sample's pitch, an unpitched sample's
    // (above 127) to key 60.
    OscRig none(test::makeSample(test::ramp(40), 44100, 64), {{58, -1}});
    none.start(64);
    EXPECT_EQ(none.osc.baseIncrement(), 1.0);
    OscRig unpitched(test::makeSample(test::ramp(40), 44100, 255));
    unpitched.start(60);
    EXPECT_EQ(unpitched.osc.baseIncrement(), 1.0);
}

TEST(SampleOscillator, PercussionPlaysEveryKeyAtTheRecordedPitch) {
    OscRig rig(test::makeSample(test::ramp(40), 44100, 60));
    rig.start(72, false);
    EXPECT_EQ(rig.osc.baseIncrement(), 1.0);
    EXPECT_TRUE(rig.osc.isDirect());
    OscRig slow(test::makeSample(test::ramp(40), 22050, 60));
    slow.start(30, false);
    EXPECT_EQ(slow.osc.baseIncrement(), 0.5);
}

TEST(SampleOscillator, LoopInterpolatesTowardLoopStartAndNeverReachesLoopEnd) {
    // Loop 10...20 of a ramp, at half speed.
    const auto data = test::ramp(40, 100);
    OscRig rig(test::makeSample(data, 22050, 60, 10, 20), {{54, 1}});
    rig.start();
    ASSERT_EQ(rig.osc.state(), State::Looping);
    bool sawWrap = false;
    for (int i = 0; i < 200; ++i) {
        const std::uint32_t p = rig.osc.position();
        const double f = rig.osc.fraction();
        const double v = rig.osc.next();
        EXPECT_LT(rig.osc.position(), 20u);
        if (p == 19 && f == 0.5) {
            EXPECT_DOUBLE_EQ(v, (data[19] + (data[10] - data[19]) * 0.5) / 32768.0);
            sawWrap = true;
        }
    }
    EXPECT_TRUE(sawWrap);
    EXPECT_EQ(rig.osc.state(), State::Looping);
    // Loop mode 1 keeps looping after release.
    rig.osc.release();
    EXPECT_EQ(rig.osc.state(), State::Looping);
}

TEST(SampleOscillator, LoopMode3PlaysOnToTheEndAfterRelease) {
    OscRig rig(test::makeSample(test::ramp(40), 44100, 60, 10, 20), {{54, 3}});
    rig.start();
    rig.frames(100);
    EXPECT_EQ(rig.osc.state(), State::Looping);
    rig.osc.release();
    EXPECT_EQ(rig.osc.state(), State::Playing);
    int n = 0;
    while (!rig.osc.isStopped() && n < 100) {
        rig.osc.next();
        ++n;
    }
    EXPECT_TRUE(rig.osc.isStopped());
    EXPECT_GT(n, 20); // on past the loop end to the sample's end
}

TEST(SampleOscillator, DownwardBendStandsStillAtMinus1200AndBelow) {
    for (int bend : {-1200, -2400, -32768}) {
        OscRig rig(test::makeSample(test::ramp(40)));
        rig.osc.setPitchBend(bend);
        rig.start();
        rig.frames(3);
        rig.osc.setPitchBend(bend); // recomputed from the base increment while sounding
        rig.osc.updatePitchModulation();
        EXPECT_EQ(rig.osc.increment(), 0.0) << bend;
        EXPECT_FALSE(rig.osc.isDirect());
        const std::uint32_t p = rig.osc.position();
        const auto v = rig.frames(50);
        EXPECT_EQ(rig.osc.position(), p);
        for (double x : v)
            EXPECT_EQ(x, v[0]);
    }
}

TEST(SampleOscillator, PitchModulationIsLinearInTheModulator) {
    OscRig rig(test::makeSample(test::ramp(40)));
    rig.osc.setPitchBend(700);
    rig.osc.setVibratoDepth(127); // 49 cents, from the next note on
    EXPECT_EQ(rig.osc.vibLfoToPitch(), 49);
    rig.start();
    EXPECT_NEAR(rig.osc.increment(), std::exp2(700 / 1200.0), 1e-12);
    EXPECT_NEAR(rig.osc.vibLfoAmount(), std::exp2(49 / 1200.0) - 1.0, 1e-12);
    rig.osc.setPitchBend(-700);
    rig.osc.updatePitchModulation();
    EXPECT_NEAR(rig.osc.increment(), 2.0 - std::exp2(700 / 1200.0), 1e-12);
}

// Renders with renderBlock in blocks and with next() frame by frame; both must agree
// exactly, including where the oscillator stops.
void expectBlocksMatchFrames(const SampleHeader& sample,
                             std::initializer_list<std::pair<int, int>> generators, int key,
                             int bend, std::mt19937& random) {
    OscRig a(sample, generators), b(sample, generators);
    a.osc.setPitchBend(bend);
    b.osc.setPitchBend(bend);
    a.start(key);
    b.start(key);
    double out[20];
    for (int block = 0; block < 400 && !a.osc.isStopped(); ++block) {
        if (block == 200) {
            a.osc.release();
            b.osc.release();
        }
        const int n = 1 + int(random() % 20);
        const int produced = a.osc.renderBlock(out, n);
        for (int j = 0; j < produced; ++j) {
            ASSERT_FALSE(b.osc.isStopped());
            ASSERT_EQ(out[j], b.osc.next()) << "block " << block << " frame " << j;
        }
        if (produced < n) {
            ASSERT_TRUE(b.osc.isStopped());
        }
        ASSERT_EQ(a.osc.position(), b.osc.position());
        ASSERT_EQ(a.osc.fraction(), b.osc.fraction());
        ASSERT_EQ(a.osc.state(), b.osc.state());
    }
}

TEST(SampleOscillator, BlockRenderingEqualsFrameRendering) {
    std::mt19937 random(7);
    std::vector<std::int16_t> noise(3000);
    for (auto& x : noise)
        x = static_cast<std::int16_t>(random());
    const SampleHeader plain = test::makeSample(noise, 44100, 60);
    const SampleHeader looped = test::makeSample(noise, 32000, 60, 1000, 1037);
    const SampleHeader tinyLoop = test::makeSample(noise, 48000, 60, 500, 501);
    for (int key : {20, 47, 60, 61, 84, 127}) {
        for (int bend : {0, -350, 1200}) {
            expectBlocksMatchFrames(plain, {}, key, bend, random);
            expectBlocksMatchFrames(looped, {{54, 1}}, key, bend, random);
            expectBlocksMatchFrames(looped, {{54, 3}}, key, bend, random);
            expectBlocksMatchFrames(tinyLoop, {{54, 1}, {2, 3}}, key, bend, random);
            // Start past the loop end, a loop start beyond its end, a huge step.
            expectBlocksMatchFrames(looped, {{54, 1}, {0, 1500}}, key, bend, random);
            expectBlocksMatchFrames(looped, {{54, 1}, {2, 100}}, key, bend, random);
            expectBlocksMatchFrames(looped, {{54, 1}, {51, 120}}, key, bend, random);
        }
    }
}

TEST(SampleOscillator, OffsetsOutsideTheDataAreLimitedToIt) {
    // Start, end and loop points before the first frame or far past the data (the store
    // grows the buffer to the frames addressed, as silence when the file has none): every
    // read stays in the buffer (the address sanitizer watches), nothing crashes.
    const std::initializer_list<std::pair<int, int>> cases[] = {
        {{0, 30000}, {4, 30}},                  // start far past the end
        {{1, -200}},                            // end before the first frame
        {{1, 5000}, {12, 2}},                   // end far past the data
        {{54, 1}, {2, -500}, {3, 30000}},       // loop around everything
        {{54, 1}, {2, 30000}, {3, -30000}},     // loop start past end, loop end negative
        {{54, 3}, {45, -20}, {50, 20}, {0, 7}}, // coarse offsets
    };
    for (const auto& generators : cases) {
        for (std::uint32_t rate : {44100u, 30000u, 90000u}) {
            OscRig rig(test::makeSample(test::ramp(64), rate, 60, 8, 40), generators);
            rig.start(67);
            const auto resident = static_cast<std::uint32_t>(rig.osc.residentLength());
            EXPECT_LE(rig.osc.end(), resident);
            EXPECT_LE(rig.osc.loopEnd(), resident);
            EXPECT_LE(rig.osc.loopStart(), resident);
            EXPECT_LE(rig.osc.position(), resident);
            double out[20];
            for (int block = 0; block < 50; ++block) {
                rig.osc.updatePitchModulation();
                const int produced = rig.osc.renderBlock(out, 20);
                for (int j = 0; j < produced; ++j)
                    ASSERT_TRUE(std::abs(out[j]) <= 1.0);
            }
            rig.osc.release();
            for (int block = 0; block < 50; ++block)
                rig.osc.renderBlock(out, 20);
        }
    }
}

TEST(SampleOscillator, StartRaisesTheStoredLengthToEveryAddressedFrame) {
    auto sample = test::makeSample(test::ramp(64), 44100, 60, 8, 40);
    OscRig rig(sample, {{1, 10}, {3, 30}});
    rig.start();
    EXPECT_EQ(rig.sample.storedLength, 74); // end 64 + 10; loop end 70
    // Points before the first frame are limited to it.
    OscRig negative(test::makeSample(test::ramp(64)), {{0, -5}, {1, -30}});
    negative.start();
    EXPECT_EQ(negative.sample.storedLength, 64);
    EXPECT_EQ(negative.osc.position(), 0u);
    EXPECT_EQ(negative.osc.end(), 34u);
}

TEST(SampleOscillator, HugeIncrementsEndQuicklyInsteadOfHanging) {
    OscRig rig(test::makeSample(test::ramp(64), 44100, 60, 8, 40), {{51, 32767}, {54, 1}});
    rig.start(127);
    EXPECT_EQ(rig.osc.increment(), SampleOscillator::kMaxIncrement);
    double out[20];
    for (int block = 0; block < 1000; ++block)
        rig.osc.renderBlock(out, 20);
    EXPECT_EQ(rig.osc.state(), State::Looping);
    EXPECT_LT(rig.osc.position(), 40u);
    // A zero sample rate gives a zero increment; coarse tune far down too.
    OscRig still(test::makeSample(test::ramp(64), 0));
    still.start();
    EXPECT_EQ(still.osc.increment(), 0.0);
    OscRig down(test::makeSample(test::ramp(64)), {{51, -32768}});
    down.start(0);
    EXPECT_GE(down.osc.increment(), 0.0);
    down.frames(100);
}

} // namespace
} // namespace korvelt
