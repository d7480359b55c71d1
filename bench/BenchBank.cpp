// Sound banks: loading the structure of a bank (TimGM6mb, its packed form, a generated
// 140 MB SoundFont: no sample data may be read at load, and MuseScore_General_Lite.sf3,
// whose load reads the end of each Ogg Vorbis stream), decoding compressed samples and
// every stream of the SoundFont 3 bank (MB/s of 16-bit output), and packing TimGM6mb
// (ratio and speed as counters).

#include "bank/BankPacker.h"
#include "bank/Ccompsf.h"
#include "bank/SampleDecoder.h"
#include "bank/SampleEncoder.h"
#include "bank/SampleStore.h"
#include "engine/RenderOptions.h"
#include "platform/File.h"
#include "platform/Notifier.h"

#include "../tests/support/Sf2Builder.h"
#include "../tests/support/TempDir.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using korvelt::test::Sf2Builder;

const char* const kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";
const char* const kMuseScoreLite = "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3";

// "S12" and the like (built by appending, which keeps GCC 12's -Wrestrict quiet).
std::string label(char kind, int n) {
    std::string text(1, kind);
    text.append(std::to_string(n));
    return text;
}

// Everything the benchmarks read, made once: a packed TimGM6mb (when installed) and a
// generated 140 MB SoundFont with a General MIDI-sized structure.
struct BenchFiles {
    korvelt::test::TempDir dir;
    std::string packedTim;
    std::string bigBank;

    BenchFiles() {
        korvelt::RecordingNotifier notifier;
        korvelt::SampleStore store(std::uint64_t(1) << 34);
        if (korvelt::file::exists(kTimGM6mb)) {
            korvelt::Csf2file tim(kTimGM6mb, notifier, store);
            if (tim.rdfile()) {
                packedTim = dir.file("TimGM6mb.csf");
                korvelt::BankPacker().pack(tim, packedTim);
            }
        }
        Sf2Builder b;
        std::mt19937 rng(5);
        std::vector<std::int16_t> frames(100000);
        for (auto& f : frames)
            f = static_cast<std::int16_t>(rng());
        std::vector<int> samples;
        for (int s = 0; s < 700; ++s)
            samples.push_back(b.addSample({.name = label('S', s), .frames = frames}));
        std::vector<int> instruments;
        for (int i = 0; i < 230; ++i) {
            std::vector<Sf2Builder::Zone> zones;
            for (int z = 0; z < 6; ++z)
                zones.push_back(Sf2Builder::instrumentZone(
                    samples[static_cast<std::size_t>((i * 3 + z) % 700)],
                    {korvelt::test::keyRange(static_cast<std::uint8_t>(z * 20),
                                             static_cast<std::uint8_t>(z * 20 + 19)),
                     korvelt::test::gen(korvelt::test::sfgen::kPan, 100)}));
            instruments.push_back(b.addInstrument(label('I', i), zones));
        }
        for (int p = 0; p < 256; ++p)
            b.addPreset(label('P', p), p < 128 ? 0 : 128, static_cast<std::uint16_t>(p % 128),
                        {Sf2Builder::presetZone(instruments[static_cast<std::size_t>(p % 230)])});
        bigBank = dir.write("big.sf2", b.build());
    }
};

const BenchFiles& files() {
    static const BenchFiles instance;
    return instance;
}

template <class Bank>
void loadBank(benchmark::State& state, const std::string& path) {
    if (path.empty() || !korvelt::file::exists(path)) {
        state.SkipWithError("bank not available");
        return;
    }
    korvelt::RecordingNotifier notifier;
    korvelt::SampleStore store(std::uint64_t(1) << 34);
    for (auto _ : state) {
        Bank bank(path, notifier, store);
        if (!bank.rdfile())
            state.SkipWithError("bank did not load");
        benchmark::DoNotOptimize(bank.samples().data());
    }
    state.counters["file_MB"] = double(std::filesystem::file_size(path)) / 1e6;
}

void BM_LoadTimGM6mb(benchmark::State& state) {
    loadBank<korvelt::Csf2file>(state, kTimGM6mb);
}
void BM_LoadPackedTimGM6mb(benchmark::State& state) {
    loadBank<korvelt::Ccompsf>(state, files().packedTim);
}
void BM_LoadGenerated140MB(benchmark::State& state) {
    loadBank<korvelt::Csf2file>(state, files().bigBank);
}
void BM_LoadMuseScoreLite(benchmark::State& state) {
    loadBank<korvelt::Csf2file>(state, kMuseScoreLite);
}

// A recorded-instrument-like signal: decaying partials with a little noise.
std::vector<std::int16_t> tone(std::size_t n) {
    std::mt19937 rng(3);
    std::normal_distribution<double> hiss(0.0, 20.0);
    std::vector<std::int16_t> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double env = std::exp(-double(i) / double(n));
        out[i] = static_cast<std::int16_t>(
            env * (9000.0 * std::sin(0.031 * double(i)) + 2500.0 * std::sin(0.173 * double(i))) +
            hiss(rng));
    }
    return out;
}

void BM_DecodeTone(benchmark::State& state) {
    const std::vector<std::int16_t> frames = tone(1 << 20);
    korvelt::SampleEncoder encoder;
    const auto encoded = encoder.encode(frames);
    std::vector<std::int16_t> out(frames.size());
    for (auto _ : state) {
        korvelt::SampleDecoder::decodeStream(encoded.stream.data(), encoded.stream.size(),
                                             encoded.blockSamples, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    if (out != frames)
        state.SkipWithError("decoded frames differ");
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(out.size()) * 2);
    state.counters["bits_per_frame"] = 8.0 * double(encoded.stream.size()) / double(frames.size());
}

// Every sample of the packed TimGM6mb made resident through the store: read, unscramble,
// decode (raw ones read as they stand).
template <class Bank>
void loadAllSamples(benchmark::State& state, const std::string& path) {
    if (path.empty() || !korvelt::file::exists(path)) {
        state.SkipWithError("bank not available");
        return;
    }
    korvelt::RecordingNotifier notifier;
    korvelt::SampleStore store(std::uint64_t(1) << 34);
    Bank bank(path, notifier, store);
    if (!bank.rdfile()) {
        state.SkipWithError("bank did not load");
        return;
    }
    std::int64_t bytes = 0;
    for (auto _ : state) {
        for (auto& s : bank.samples()) {
            store.loadSample(s, &notifier); // so that a failed sample is seen
            bytes += 2 * std::int64_t(s.residentLength);
        }
        state.PauseTiming();
        store.forgetSamples(bank.samples());
        for (auto& s : bank.samples())
            s.data.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(bytes);
    if (notifier.count() != 0)
        state.SkipWithError("a sample failed to load");
}

void BM_LoadAllSamplesPackedTimGM6mb(benchmark::State& state) {
    loadAllSamples<korvelt::Ccompsf>(state, files().packedTim);
}
// Every Ogg Vorbis stream of the SoundFont 3 bank decoded through the store.
void BM_DecodeAllStreamsMuseScoreLite(benchmark::State& state) {
    loadAllSamples<korvelt::Csf2file>(state, kMuseScoreLite);
}

void BM_PackTimGM6mb(benchmark::State& state) {
    if (!korvelt::file::exists(kTimGM6mb)) {
        state.SkipWithError("TimGM6mb not installed");
        return;
    }
    korvelt::RecordingNotifier notifier;
    korvelt::SampleStore store(std::uint64_t(1) << 34);
    korvelt::Csf2file tim(kTimGM6mb, notifier, store);
    if (!tim.rdfile()) {
        state.SkipWithError("TimGM6mb did not load");
        return;
    }
    korvelt::test::TempDir dir;
    korvelt::PackReport report;
    for (auto _ : state)
        report = korvelt::BankPacker().pack(tim, dir.file("out.csf"));
    if (!report.ok)
        state.SkipWithError(report.error.c_str());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(report.inputBytes));
    state.counters["ratio_percent"] =
        100.0 * double(report.outputBytes) / double(report.inputBytes);
    state.counters["output_bytes"] = double(report.outputBytes);
}

BENCHMARK(BM_LoadTimGM6mb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPackedTimGM6mb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGenerated140MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMuseScoreLite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAllSamplesPackedTimGM6mb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAllStreamsMuseScoreLite)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PackTimGM6mb)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
