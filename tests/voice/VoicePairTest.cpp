#include "voice/VoiceTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace korvelt::test {
namespace {

// Two voices rendered as a pair must leave the bus exactly as rendering the first, then
// the second, does: same frames, same order of additions, same state afterwards.
struct PairCase {
    std::vector<Generator> a, b; // instrument generators
    int keyA = 60, keyB = 67;
    std::vector<int> spans; // render calls of these lengths
};

std::vector<float> bus(const MixBus& m, int frames) {
    std::vector<float> all;
    for (int b = 0; b < MixBus::kBufferCount; ++b)
        all.insert(all.end(), m.buffer(b), m.buffer(b) + frames);
    return all;
}

void expectPairMatchesSequence(const PairCase& c) {
    // A 22050 Hz looped sample (interpolated at every key) and a short unlooped one that
    // ends within the render.
    SampleHeader looped = makeSample(ramp(3000, 7, -9000), 22050, 60, 1000, 2500);
    SampleHeader shortOne = makeSample(ramp(900, 31, -12000), 32000);
    VoiceRig pairRig, soloRig;
    auto pa = pairRig.voice(looped, c.a), pb = pairRig.voice(shortOne, c.b);
    auto sa = soloRig.voice(looped, c.a), sb = soloRig.voice(shortOne, c.b);
    // Sound already in the bus, so the order of the additions shows in the sums.
    for (auto* rig : {&pairRig, &soloRig}) {
        rig->options.reverbAmount = 0.3f;
        for (int b = 0; b < MixBus::kBufferCount; ++b)
            for (int i = 0; i < 6000; ++i)
                rig->bus->buffer(b)[i] = 0.3f + 1e-3f * float((i * 37 + b) % 101);
    }
    VoiceRig::play(*pa, c.keyA);
    VoiceRig::play(*pb, c.keyB, 90);
    VoiceRig::play(*sa, c.keyA);
    VoiceRig::play(*sb, c.keyB, 90);
    int at = 0;
    for (int span : c.spans) {
        pairRig.bus->mixPosition = at;
        Voice::renderPair(*pa, *pb, span);
        soloRig.bus->mixPosition = at;
        sa->render(span);
        soloRig.bus->mixPosition = at;
        sb->render(span);
        at += span;
        if (at > 2000)
            pa->releaseNow(), sa->releaseNow();
    }
    EXPECT_EQ(bus(*pairRig.bus, at), bus(*soloRig.bus, at));
    EXPECT_EQ(pa->isSounding(), sa->isSounding());
    EXPECT_EQ(pb->isSounding(), sb->isSounding());
    EXPECT_EQ(pa->oscillator().position(), sa->oscillator().position());
    EXPECT_EQ(pa->oscillator().fraction(), sa->oscillator().fraction());
    EXPECT_EQ(pa->volumeEnvelope().attenuation(), sa->volumeEnvelope().attenuation());
}

TEST(VoicePair, RendersExactlyAsOneVoiceAfterTheOther) {
    const std::vector<int> spans = {45, 1, 19, 20, 333, 700, 5, 1600, 2000};
    // Plain, through loop points and a sample end, with odd render calls.
    expectPairMatchesSequence({instantVolume(), instantVolume(), 60, 67, spans});
    // Filters on one side, on both, and vibrato; a key that runs the short sample out fast.
    const auto filter = gens({{8, 3000}, {9, 60}});
    const auto vibrato = gens({{6, 50}, {24, 500}});
    expectPairMatchesSequence({concat(instantVolume(), filter), instantVolume(), 48, 84, spans});
    expectPairMatchesSequence(
        {concat(instantVolume(), filter), concat(instantVolume(), filter), 72, 55, spans});
    expectPairMatchesSequence(
        {concat(instantVolume(), vibrato), concat(filter, vibrato), 61, 62, spans});
    // The default envelope (a delay, then an attack) and a loop mode that ends at release.
    expectPairMatchesSequence({gens({{54, 3}}), {}, 60, 60, spans});
    // A pitch that leaps within a block (the modulation envelope at full depth at once):
    // whether a block may skip its end checks depends on the increment it plays with.
    const auto leap = gens({{7, 12000}, {25, -32768}, {26, -32768}});
    expectPairMatchesSequence(
        {concat(instantVolume(), leap), concat(instantVolume(), leap), 96, 100, spans});
}

} // namespace
} // namespace korvelt::test
