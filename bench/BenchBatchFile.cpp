// Reading a batch file of many jobs: the lines, then the check that no job's output is any
// job's input. Its time grows in proportion to the number of jobs (state.range(0)).

#include "app/BatchFile.h"
#include "platform/Notifier.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace korvelt;

class SilentNotifier final : public Notifier {
public:
    void show(Severity, const std::string&, const std::string&) override {}
};

void BM_ParseBatch(benchmark::State& state) {
    const auto jobs = static_cast<int>(state.range(0));
    std::string text;
    for (int i = 0; i < jobs; ++i)
        text += "\"/banks/General MIDI.sf2\" /out/song" + std::to_string(i) + ".wav /midi/song" +
                std::to_string(i) + ".mid\n";
    SilentNotifier notifier;
    BatchFile batch(notifier);
    const auto exists = [](const std::string&) { return true; };
    for (auto _ : state) {
        const bool ok = batch.parse(text, exists);
        benchmark::DoNotOptimize(ok);
    }
    state.SetItemsProcessed(state.iterations() * jobs);
}
BENCHMARK(BM_ParseBatch)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
