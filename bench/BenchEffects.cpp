// Speed of the output end of a render: the effects rack turning mixed blocks into 16-bit
// frames, the WAVE writer, and the rescale pass.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/Cwavfil.h"
#include "effects/EffectsRack.h"
#include "engine/RenderOptions.h"
#include "platform/Notifier.h"

namespace {

using namespace korvelt;

// Music-like content for the six buffers: every buffer busy, as with many voices sounding.
struct BlockContent {
    std::vector<float> buffers[MixBus::kBufferCount];

    BlockContent() {
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> u(-0.3f, 0.3f);
        for (auto& b : buffers) {
            b.resize(MixBus::kBlockFrames);
            for (float& v : b)
                v = u(rng);
        }
    }

    void fill(MixBus& bus) const {
        for (int k = 0; k < MixBus::kBufferCount; ++k)
            std::copy(buffers[k].begin(), buffers[k].end(), bus.buffer(k));
    }
};

const BlockContent& content() {
    static const BlockContent c; // read-only after construction
    return c;
}

std::string tempFile(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

// Frames per second through processBlock, written to /dev/null so that only the
// processing is measured. Reverb and chorus always run; range(0) switches the delay;
// range(1) the compressor.
void BM_ProcessBlock(benchmark::State& state) {
    RenderOptions options;
    options.delayAmount = state.range(0) ? 0.5f : 0.0f;
    options.delayModulationMs = state.range(0) ? 10 : 0;
    options.delayFeedback = 0.5f;
    options.compressorLevel = state.range(1) ? 8 : 0;
    std::atomic<bool> abortRequested{false};
    EffectsRack rack(options, abortRequested);
    RecordingNotifier notifier; // /dev/null cannot seek: close reports a failed header
    Cwavfil out("/dev/null", notifier);
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh file now and then: one file holds at most 6 h 45 min of sound.
        if (out.frames() > 1000 * 44100 || out.handle() < 0) {
            out.close();
            if (!out.openwr()) {
                state.SkipWithError("cannot open /dev/null");
                return;
            }
        }
        content().fill(rack.mixBus());
        state.ResumeTiming();
        rack.processBlock(MixBus::kBlockFrames, out);
    }
    out.close();
    state.SetItemsProcessed(state.iterations() * MixBus::kBlockFrames);
    state.counters["x_realtime"] = benchmark::Counter(
        double(state.iterations()) * MixBus::kBlockFrames / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ProcessBlock)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"delay", "compressor"})
    ->Unit(benchmark::kMillisecond);

// The same chain frame by frame (the straightforward form), for comparison.
void BM_ProcessFrameByFrame(benchmark::State& state) {
    RenderOptions options;
    options.delayAmount = 0.5f;
    options.delayModulationMs = 10;
    options.delayFeedback = 0.5f;
    Reverb reverb;
    Chorus chorus;
    Delay delay;
    OutputStage output;
    output.reset(1.0f, 2.5f, true);
    delay.setParameters(options.delayTimeMs, options.delayModulationMs, options.delayFeedback,
                        options.delayAmount, options.delayStereoSpreadMs);
    RecordingNotifier notifier; // /dev/null cannot seek: close reports a failed header
    Cwavfil out("/dev/null", notifier);
    const BlockContent& c = content();
    for (auto _ : state) {
        if (out.frames() > 1000 * 44100 || out.handle() < 0) {
            out.close();
            out.openwr();
        }
        for (int i = 0; i < MixBus::kBlockFrames; ++i) {
            float L = c.buffers[MixBus::DryLeft][i];
            float R = c.buffers[MixBus::DryRight][i];
            delay.process(L, R);
            reverb.process(c.buffers[MixBus::ReverbLeft][i], c.buffers[MixBus::ReverbRight][i], L,
                           R);
            chorus.process(c.buffers[MixBus::ChorusLeft][i], c.buffers[MixBus::ChorusRight][i], L,
                           R);
            output.processFrame(L, R, out);
        }
    }
    out.close();
    state.SetItemsProcessed(state.iterations() * MixBus::kBlockFrames);
}
BENCHMARK(BM_ProcessFrameByFrame)->Unit(benchmark::kMillisecond);

// The tail flush (reverb and look-ahead only, delay on).
void BM_FlushTail(benchmark::State& state) {
    RenderOptions options;
    options.delayAmount = 0.5f;
    std::atomic<bool> abortRequested{false};
    EffectsRack rack(options, abortRequested);
    RecordingNotifier notifier; // /dev/null cannot seek: close reports a failed header
    Cwavfil out("/dev/null", notifier);
    for (auto _ : state) {
        if (out.frames() > 1000 * 44100 || out.handle() < 0) {
            out.close();
            out.openwr();
        }
        rack.flushTail(out);
    }
    out.close();
    state.SetItemsProcessed(state.iterations() * rack.tailFrames());
}
BENCHMARK(BM_FlushTail)->Unit(benchmark::kMillisecond);

// Frame-by-frame write of one minute of sound to a real file, then close.
void BM_WavWriteAndClose(benchmark::State& state) {
    StderrNotifier notifier;
    const std::string name = tempFile("korvelt-bench-write.wav");
    Cwavfil wav(name, notifier);
    constexpr int kFrames = 60 * 44100;
    for (auto _ : state) {
        wav.openwr();
        for (int i = 0; i < kFrames; ++i)
            wav.write(static_cast<std::int16_t>(i * 7), static_cast<std::int16_t>(-i * 3));
        benchmark::DoNotOptimize(wav.close());
    }
    std::filesystem::remove(name);
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(state.iterations() * kFrames * 4);
}
BENCHMARK(BM_WavWriteAndClose)->Unit(benchmark::kMillisecond);

// Bulk write of the same minute in runs of 256 frames, as the rack writes.
void BM_WavWriteFramesAndClose(benchmark::State& state) {
    StderrNotifier notifier;
    const std::string name = tempFile("korvelt-bench-bulk.wav");
    Cwavfil wav(name, notifier);
    constexpr int kFrames = 60 * 44100;
    std::vector<std::int16_t> run(2 * 256);
    for (std::size_t i = 0; i < run.size(); ++i)
        run[i] = static_cast<std::int16_t>(i * 131);
    for (auto _ : state) {
        wav.openwr();
        for (int i = 0; i + 256 <= kFrames; i += 256)
            wav.writeFrames(run.data(), 256);
        benchmark::DoNotOptimize(wav.close());
    }
    std::filesystem::remove(name);
    state.SetItemsProcessed(state.iterations() * (kFrames / 256 * 256));
    state.SetBytesProcessed(state.iterations() * (kFrames / 256 * 256) * 4);
}
BENCHMARK(BM_WavWriteFramesAndClose)->Unit(benchmark::kMillisecond);

// Rescale of a three-minute file (about 32 MB), which stays in the page cache.
void BM_Rescale(benchmark::State& state) {
    StderrNotifier notifier;
    const std::string name = tempFile("korvelt-bench-rescale.wav");
    Cwavfil wav(name, notifier);
    constexpr int kFrames = 180 * 44100;
    wav.openwr();
    for (int i = 0; i < kFrames; ++i)
        wav.write(static_cast<std::int16_t>(i % 2000 - 1000), static_cast<std::int16_t>(i % 999));
    wav.close();
    for (auto _ : state)
        benchmark::DoNotOptimize(wav.rescale(1030));
    std::filesystem::remove(name);
    state.SetItemsProcessed(state.iterations() * kFrames);
    state.SetBytesProcessed(state.iterations() * kFrames * 4);
}
BENCHMARK(BM_Rescale)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// The reverb alone, over runs as the rack drives it and frame by frame.
void BM_Reverb(benchmark::State& state) {
    Reverb reverb;
    const BlockContent& c = content();
    std::vector<float> L(MixBus::kBlockFrames), R(MixBus::kBlockFrames);
    const float* inL = c.buffers[MixBus::ReverbLeft].data();
    const float* inR = c.buffers[MixBus::ReverbRight].data();
    for (auto _ : state) {
        if (state.range(0)) {
            for (int i = 0; i < MixBus::kBlockFrames; ++i)
                reverb.process(inL[i], inR[i], L[i], R[i]);
        } else {
            for (int i = 0; i < MixBus::kBlockFrames; i += EffectsRack::kRun)
                reverb.processRun(inL + i, inR + i, &L[i], &R[i],
                                  std::min(EffectsRack::kRun, MixBus::kBlockFrames - i));
        }
        benchmark::DoNotOptimize(L.data());
    }
    state.SetItemsProcessed(state.iterations() * MixBus::kBlockFrames);
}
BENCHMARK(BM_Reverb)->Arg(0)->Arg(1)->ArgName("frameByFrame")->Unit(benchmark::kMillisecond);

} // namespace
