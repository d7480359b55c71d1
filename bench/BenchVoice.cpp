// Cost of one voice per output frame: oscillator, filter, amplifier and mixing into the
// six bus buffers, with the control tick every 20 frames.
#include "bank/SampleStore.h"
#include "effects/MixBus.h"
#include "engine/RenderOptions.h"
#include "platform/Notifier.h"
#include "voice/Voice.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace korvelt;

constexpr int kFramesPerCall = 4410; // a 0.1 s span, as the render loop hands out

SampleHeader makeSample(int frames, std::uint32_t rate) {
    SampleHeader sample;
    sample.playLength = frames;
    sample.storedLength = frames;
    sample.residentLength = frames;
    sample.residentFor = frames;
    sample.loopStart = 1000;
    sample.loopEnd = frames - 1000;
    sample.sampleRate = rate;
    sample.originalPitch = 60;
    sample.data.reset(new std::int16_t[std::size_t(frames) + SampleHeader::kPaddingFrames]());
    for (int i = 0; i < frames; ++i)
        sample.data[i] = static_cast<std::int16_t>(12000.0 * std::sin(i * 0.0371));
    return sample;
}

std::vector<Generator> gens(std::initializer_list<std::pair<int, int>> list) {
    std::vector<Generator> out;
    for (auto [oper, amount] : list)
        out.push_back(
            Generator{static_cast<std::uint16_t>(oper), static_cast<std::int16_t>(amount)});
    return out;
}

struct Rig {
    RenderOptions options;
    StderrNotifier notifier;
    SampleStore store{std::uint64_t(1) << 32};
    std::unique_ptr<MixBus> bus = std::make_unique<MixBus>();
    std::atomic<bool> abortRequested{false};
    VoiceServices services{options, notifier, store, *bus, abortRequested};
    SampleHeader right = makeSample(200000, 44100);
    SampleHeader left = makeSample(200000, 44100);

    Rig() { options.reverbAmount = 0.2f; }

    std::unique_ptr<Voice> voice(SampleHeader& sample, std::vector<Generator> generators) {
        generators.push_back(Generator{54, 1}); // loop: sounds for as long as we like
        auto v = std::make_unique<Voice>(sample, services);
        v->applyGenerators(generators, false);
        v->prepare();
        return v;
    }
};

void runMono(benchmark::State& state, std::initializer_list<std::pair<int, int>> generators,
             int key) {
    Rig rig;
    auto voice = rig.voice(rig.right, gens(generators));
    voice->start(key, 100, 0.0f, 0, 0, 0, 2000, true, false);
    for (auto _ : state) {
        rig.bus->mixPosition = 0;
        voice->render(kFramesPerCall);
        benchmark::DoNotOptimize(rig.bus->buffer(0));
    }
    if (!voice->isSounding())
        state.SkipWithError("voice stopped");
    state.counters["per_voice_frame"] =
        benchmark::Counter(double(kFramesPerCall), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

void BM_VoiceInterpolating(benchmark::State& state) {
    runMono(state, {}, 62);
}
void BM_VoiceInterpolatingFiltered(benchmark::State& state) {
    runMono(state, {{8, 8000}, {9, 100}}, 62);
}
// The modulation LFO moves the cutoff: new coefficients (a cosine) every block.
void BM_VoiceFilterSwept(benchmark::State& state) {
    runMono(state, {{8, 8000}, {9, 100}, {10, 1200}, {21, -32768}, {22, 0}}, 62);
}
// Vibrato and modulation-LFO pitch: the increment changes every block.
void BM_VoiceVibrato(benchmark::State& state) {
    runMono(state, {{6, 50}, {23, -32768}, {24, -725}}, 62);
}
void BM_VoiceDirect(benchmark::State& state) {
    runMono(state, {}, 60);
}

void BM_VoiceStereoPair(benchmark::State& state) {
    Rig rig;
    auto master = rig.voice(rig.right, {});
    auto partner = rig.voice(rig.left, {});
    master->start(62, 100, 0.0f, 0, 0, 0, 500, true, false);
    partner->start(62, 100, 0.0f, 0, 0, 0, -500, true, false);
    master->setPartner(partner.get());
    for (auto _ : state) {
        rig.bus->mixPosition = 0;
        master->renderStereo(kFramesPerCall);
        benchmark::DoNotOptimize(rig.bus->buffer(0));
    }
    if (!master->isSounding())
        state.SkipWithError("voice stopped");
    // Two voices per frame.
    state.counters["per_voice_frame"] =
        benchmark::Counter(2.0 * kFramesPerCall, benchmark::Counter::kIsIterationInvariantRate |
                                                     benchmark::Counter::kInvert);
}

// Keys below, near and above the root: fraction steps of 0.75, 1.12, 1.50 and 2.24.
BENCHMARK(BM_VoiceInterpolating)->Arg(55)->Arg(62)->Arg(67)->Arg(74);
BENCHMARK(BM_VoiceInterpolatingFiltered);
BENCHMARK(BM_VoiceFilterSwept);
BENCHMARK(BM_VoiceVibrato);
BENCHMARK(BM_VoiceDirect);
BENCHMARK(BM_VoiceStereoPair);

} // namespace
