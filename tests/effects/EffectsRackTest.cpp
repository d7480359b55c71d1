#include "effects/EffectsRack.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/MemorySink.h"
#include "engine/RenderOptions.h"

namespace korvelt {
namespace {

constexpr int kLook = OutputStage::kLookAhead;

// The largest sample magnitude a sink took.
int peakOf(const MemorySink& sink) {
    int peak = 0;
    for (std::int16_t s : sink.samples())
        peak = std::max(peak, std::abs(int(s)));
    return peak;
}

// The rack's chain written frame by frame, straight from its description, on its own
// effect objects: the delay (when its amount is above 0), the reverb and the chorus each
// process one frame, then the output stage.
class ReferenceRack {
public:
    explicit ReferenceRack(const RenderOptions& s) : options_(s) { configure(); }

    void configure() {
        reverb_.setRoomSize(options_.reverbRoomSize);
        reverb_.setDamp(static_cast<float>(options_.reverbDamping * 0.01));
        reverb_.mute();
        chorus_.clear();
        delay_.clear();
        output_.reset(static_cast<float>(std::pow(10.0, options_.masterVolumeDb * 0.05)),
                      static_cast<float>(std::pow(10.0, options_.compressorLevel * 0.05)),
                      options_.compressorLevel != 0);
    }

    void processBlock(const MixBus& bus, int frames, FrameSink& out) {
        for (int i = 0; i < frames; ++i) {
            float L = bus.buffer(MixBus::DryLeft)[i];
            float R = bus.buffer(MixBus::DryRight)[i];
            frame(L, R, bus.buffer(MixBus::ReverbLeft)[i], bus.buffer(MixBus::ReverbRight)[i],
                  bus.buffer(MixBus::ChorusLeft)[i], bus.buffer(MixBus::ChorusRight)[i], true, out);
        }
    }

    void flushTail(FrameSink& out) {
        const int n = 2794 + kLook + (options_.delayAmount > 0.0f ? 44100 : 0);
        for (int i = 0; i < n; ++i) {
            float L = 0.0f, R = 0.0f;
            frame(L, R, 0.0f, 0.0f, 0.0f, 0.0f, false, out);
        }
    }

private:
    void frame(float& L, float& R, float revL, float revR, float choL, float choR, bool chorus,
               FrameSink& out) {
        if (options_.delayAmount > 0.0f) {
            delay_.setParameters(options_.delayTimeMs, options_.delayModulationMs,
                                 options_.delayFeedback, options_.delayAmount,
                                 options_.delayStereoSpreadMs);
            delay_.process(L, R);
        }
        reverb_.process(revL, revR, L, R);
        if (chorus)
            chorus_.process(choL, choR, L, R);
        output_.processFrame(L, R, out);
    }

    const RenderOptions& options_;
    Reverb reverb_;
    Chorus chorus_;
    Delay delay_;
    OutputStage output_;
};

class EffectsRackTest : public ::testing::Test {
protected:
    EffectsRackTest() {
        options.delayAmount = 0.0f;
        options.compressorLevel = 0;
    }

    RenderOptions options;
    std::atomic<bool> abortRequested{false};
    MemorySink out;
};

TEST_F(EffectsRackTest, OutputIsTheInputDelayedByTheLookAhead) {
    EffectsRack rack(options, abortRequested);
    rack.configure();
    MixBus& bus = rack.mixBus();
    bus.buffer(MixBus::DryLeft)[10] = 0.5f;
    bus.buffer(MixBus::DryRight)[10] = -0.5f;
    bus.buffer(MixBus::DryLeft)[11] = 0.25f;
    rack.processBlock(1000, out);
    EXPECT_EQ(out.frames(), 0u); // everything is still in the look-ahead line
    rack.flushTail(out);
    // The first 131072 frames are swallowed, so the written frames are the input frames.
    EXPECT_EQ(out.frames(), 1000u + 2794u);
    const auto& s = out.samples();
    EXPECT_EQ(s[2 * 10], 16383); // trunc(0.5 x 32767)
    EXPECT_EQ(s[2 * 10 + 1], -16383);
    EXPECT_EQ(s[2 * 11], 8191);
    EXPECT_EQ(s[2 * 9], 0);
    EXPECT_EQ(peakOf(out), 16383);
}

TEST_F(EffectsRackTest, SingleLoudFrameRampsTheGainDownAndBackLinearly) {
    EffectsRack rack(options, abortRequested);
    const int loud = 200000; // input frame of magnitude 2.0; every other frame is 0.25
    int index = 0;
    for (int block = 0; block < 3; ++block) {
        float* L = rack.mixBus().buffer(MixBus::DryLeft);
        float* R = rack.mixBus().buffer(MixBus::DryRight);
        for (int i = 0; i < 150000; ++i, ++index) {
            L[i] = index == loud ? 2.0f : 0.25f;
            R[i] = index == loud ? -2.0f : -0.25f;
        }
        rack.processBlock(150000, out);
    }
    rack.flushTail(out);
    const auto& s = out.samples();
    auto expected = [](double value, double gain) { return int(value * gain * 32767.0); };
    // Untouched until the loud frame enters the line ...
    EXPECT_EQ(s[2 * (loud - kLook - 1)], expected(0.25, 1.0));
    // ... then a linear fall to 0.5, complete exactly when the loud frame leaves it ...
    for (int m = 0; m <= kLook; m += 997)
        ASSERT_EQ(s[2 * (loud - kLook + m)], expected(0.25, 1.0 - m / 262144.0)) << m;
    EXPECT_EQ(s[2 * loud], 32767);
    EXPECT_EQ(s[2 * loud + 1], -32767);
    // ... and a linear rise back to 1.0 over as many frames.
    for (int m = 1; m <= kLook; m += 997)
        ASSERT_EQ(s[2 * (loud + m)], expected(0.25, 0.5 + m / 262144.0)) << m;
    EXPECT_EQ(s[2 * (loud + kLook + 5)], expected(0.25, 1.0));
    EXPECT_EQ(rack.outputStage().limiter().gain, 1.0);
}

TEST_F(EffectsRackTest, TailLengthDependsOnTheDelay) {
    EffectsRack rack(options, abortRequested);
    EXPECT_EQ(rack.tailFrames(), 133866);
    MemorySink dry;
    rack.flushTail(dry);
    EXPECT_EQ(dry.frames(), std::size_t(133866 - kLook));

    options.delayAmount = 0.1f;
    rack.configure();
    EXPECT_EQ(rack.tailFrames(), 177966);
    MemorySink echo;
    rack.flushTail(echo);
    EXPECT_EQ(echo.frames(), std::size_t(177966 - kLook));
}

TEST_F(EffectsRackTest, ShortPieceComesOutThroughTheTail) {
    options.delayAmount = 0.5f;
    options.delayTimeMs = 100;
    options.delayStereoSpreadMs = 0;
    EffectsRack rack(options, abortRequested);
    rack.mixBus().buffer(MixBus::DryLeft)[0] = 0.5f;
    rack.processBlock(1, out);
    rack.flushTail(out);
    const auto& s = out.samples();
    EXPECT_EQ(s[0], int(0.25 * 32767.0)); // the dry half
    EXPECT_EQ(s[2 * 4410], s[0]);         // and its echo, within the tail
    // Nothing but silence after the echo.
    const auto last = std::find_if(s.rbegin(), s.rend(), [](std::int16_t v) { return v != 0; });
    EXPECT_EQ((s.rend() - last + 1) / 2, 4411);
}

TEST_F(EffectsRackTest, BlockOfZeroFramesOnlyResetsThePositions) {
    EffectsRack rack(options, abortRequested);
    MixBus& bus = rack.mixBus();
    bus.buffer(MixBus::DryLeft)[0] = 0.5f;
    bus.blockOffset = 17;
    bus.mixPosition = 42;
    rack.processBlock(0, out);
    EXPECT_EQ(bus.blockOffset, 0);
    EXPECT_EQ(bus.mixPosition, 0);
    EXPECT_EQ(bus.buffer(MixBus::DryLeft)[0], 0.5f);
    EXPECT_EQ(rack.outputStage().position(), 0);
    EXPECT_EQ(rack.outputStage().primeCount(), kLook);
    EXPECT_EQ(rack.chorus().phase(), 0);
    rack.processBlock(-5, out);
    EXPECT_EQ(bus.buffer(MixBus::DryLeft)[0], 0.5f);
}

TEST_F(EffectsRackTest, ProcessedFramesOfTheBusAreZeroedAndOversizedBlocksCut) {
    EffectsRack rack(options, abortRequested);
    MixBus& bus = rack.mixBus();
    for (int b = 0; b < MixBus::kBufferCount; ++b) {
        bus.buffer(b)[99] = 0.1f;
        bus.buffer(b)[100] = 0.2f;
    }
    rack.processBlock(100, out);
    for (int b = 0; b < MixBus::kBufferCount; ++b) {
        EXPECT_EQ(bus.buffer(b)[99], 0.0f);
        EXPECT_EQ(bus.buffer(b)[100], 0.2f);
    }
    bus.buffer(MixBus::DryLeft)[MixBus::kBlockFrames - 1] = 0.3f;
    rack.processBlock(MixBus::kBlockFrames + 1000, out);
    EXPECT_EQ(bus.buffer(MixBus::DryLeft)[MixBus::kBlockFrames - 1], 0.0f);
    EXPECT_EQ(rack.outputStage().position(), (100 + MixBus::kBlockFrames) % kLook);
}

TEST_F(EffectsRackTest, AbortStopsTheBlockAndStillClearsTheBus) {
    EffectsRack rack(options, abortRequested);
    rack.mixBus().buffer(MixBus::DryLeft)[5] = 0.5f;
    abortRequested = true;
    rack.processBlock(200000, out);
    EXPECT_EQ(rack.outputStage().position(), 0);
    EXPECT_EQ(rack.mixBus().buffer(MixBus::DryLeft)[5], 0.0f);
    rack.flushTail(out);
    EXPECT_EQ(rack.outputStage().position(), 0);
}

TEST_F(EffectsRackTest, ConfigureTakesTheSettings) {
    options.reverbRoomSize = 0.5f;
    options.reverbDamping = 0;
    options.masterVolumeDb = 6;
    options.compressorLevel = 20;
    EffectsRack rack(options, abortRequested);
    EXPECT_FLOAT_EQ(rack.reverb().comb(0, 0).feedback, 0.84f);
    EXPECT_EQ(rack.reverb().comb(1, 7).damp2, 1.0f);
    EXPECT_FLOAT_EQ(rack.outputStage().masterGain(), 1.9952623f);
    EXPECT_FLOAT_EQ(rack.outputStage().makeupGain(), 10.0f);
    // Out-of-range reverb options are held within 0 ... 1 and 0 ... 100 %.
    options.reverbRoomSize = 5.0f;
    options.reverbDamping = -40;
    rack.configure();
    EXPECT_FLOAT_EQ(rack.reverb().comb(0, 0).feedback, 0.98f);
    EXPECT_EQ(rack.reverb().comb(0, 0).damp1, 0.0f);
}

TEST(SoftClipper, KneeIsContinuousMonotoneAndHeldAt28671) {
    EXPECT_EQ(OutputStage::softClip(0.0f), 0);
    EXPECT_EQ(OutputStage::softClip(100.9f), 100);
    EXPECT_EQ(OutputStage::softClip(-100.9f), -100);
    EXPECT_EQ(OutputStage::softClip(24575.0f), 24575);
    EXPECT_EQ(OutputStage::softClip(24580.0f), 24579);
    EXPECT_EQ(OutputStage::softClip(-24580.0f), -24579);
    EXPECT_EQ(OutputStage::softClip(28671.0f), 24575 + int(4096.0f / (1.0f + 0.000122f * 4096)));
    EXPECT_EQ(OutputStage::softClip(32767.0f), 28671);
    EXPECT_EQ(OutputStage::softClip(32768.0f), 28671);
    EXPECT_EQ(OutputStage::softClip(-1e30f), -28671);
    EXPECT_EQ(OutputStage::softClip(INFINITY), 28671);
    EXPECT_EQ(OutputStage::softClip(NAN), 0);
    int previous = OutputStage::softClip(24000.0f);
    for (float x = 24000.0f; x < 34000.0f; x += 0.25f) {
        const int y = OutputStage::softClip(x);
        ASSERT_GE(y, previous) << x;
        ASSERT_LE(y - previous, 1) << x; // no step anywhere
        ASSERT_LE(y, 28671) << x;
        previous = y;
    }
    EXPECT_GE(OutputStage::softClip(32760.0f), 28669);
}

TEST(OutputSample, HeldWithin16Bits) {
    EXPECT_EQ(OutputStage::toSample(16383.5), 16383);
    EXPECT_EQ(OutputStage::toSample(-16383.5), -16383);
    EXPECT_EQ(OutputStage::toSample(40000.0), 32767);
    EXPECT_EQ(OutputStage::toSample(-40000.0), -32768);
    EXPECT_EQ(OutputStage::toSample(NAN), 0);
}

// Fills the bus with random frames: dry around full scale with loud spikes for the
// limiter, sends with silent stretches and values at the edge of the denormal range.
void fillBus(MixBus& bus, std::mt19937& rng, int frames) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 0; i < frames; ++i) {
        const bool spike = rng() % 20000 == 0;
        bus.buffer(MixBus::DryLeft)[i] = spike ? 3.5f : 0.9f * u(rng);
        bus.buffer(MixBus::DryRight)[i] = spike ? -2.5f : 0.9f * u(rng);
        const bool quiet = (i / 7000) % 3 == 1;
        for (int b = MixBus::ChorusLeft; b <= MixBus::ReverbRight; ++b)
            bus.buffer(b)[i] = quiet ? (rng() % 2 ? 1e-39f : 0.0f) : 0.5f * u(rng);
    }
}

// The whole output of the rack, block after block and then the tail, against the
// frame-by-frame chain, bit for bit.
void expectSameOutputAsFrameByFrame(RenderOptions& options, const std::string& what) {
    SCOPED_TRACE(what);
    std::atomic<bool> abortRequested{false};
    EffectsRack rack(options, abortRequested);
    ReferenceRack reference(options);
    MixBus refBus;
    MemorySink fast;
    MemorySink slow;

    std::mt19937 rng(2024);
    const int blocks[] = {MixBus::kBlockFrames, 1, 100003, 257, 0, 77777};
    int b = 0;
    for (int frames : blocks) {
        fillBus(rack.mixBus(), rng, frames);
        for (int k = 0; k < MixBus::kBufferCount; ++k)
            std::copy(rack.mixBus().buffer(k), rack.mixBus().buffer(k) + frames, refBus.buffer(k));
        if (options.delayAmount > 0.0f)
            options.delayTimeMs = b % 2 == 0 ? 1 : 350; // live changes between blocks
        rack.processBlock(frames, fast);
        reference.processBlock(refBus, frames, slow);
        ++b;
    }
    rack.flushTail(fast);
    reference.flushTail(slow);
    EXPECT_GT(peakOf(fast), 1000);
    const auto& a = fast.samples();
    const auto& e = slow.samples();
    ASSERT_EQ(a.size(), e.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        ASSERT_EQ(a[i], e[i]) << "sample " << i;
}

TEST(EffectsRackExactness, EveryOptionOnMatchesFrameByFrame) {
    RenderOptions options;
    options.reverbRoomSize = 0.9f;
    options.reverbDamping = 30;
    options.masterVolumeDb = 4;
    options.compressorLevel = 12;
    options.delayTimeMs = 350;
    options.delayModulationMs = 20;
    options.delayFeedback = 0.9f;
    options.delayAmount = 0.6f;
    options.delayStereoSpreadMs = 40;
    expectSameOutputAsFrameByFrame(options, "compressor and delay on");
    options.compressorLevel = 0;
    options.delayAmount = 0.0f;
    options.masterVolumeDb = -2;
    expectSameOutputAsFrameByFrame(options, "compressor and delay off");
}

} // namespace
} // namespace korvelt
