#pragma once

#include "sequencer/EventRef.h"
#include "sequencer/MidiChannel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvelt {

class Cmidfil;
class Cwavfil;
class EffectsRack;
struct SequencerContext;

// The performance of one loaded MIDI file, ready to render any number of times: sixteen
// per-channel event lists and the tempo list, built on the first run. A run renders blocks
// of five seconds through the effects rack into the WAVE file, with every channel event
// at its exact frame, then the tail until every voice has ended.
class RenderJob {
public:
    static constexpr int kBlockFrames = 220500;
    static constexpr int kTailFrames = 44100;
    // The longest tail after the last event's block, in one-second blocks (ten minutes).
    static constexpr int kMaxTailSeconds = 600;
    static constexpr double kMicrosecondsPerFrame = 22.675736961451246;
    // The tempo of a file without a set-tempo event at its start: the Standard MIDI File
    // default of 120 beats per minute.
    static constexpr double kInitialTempo = 500000.0;

    // Called after every block with the progress in percent (0 ... about 100).
    using Progress = std::function<void(int percent)>;

    // The file must outlive the job; it is read when the job is first run.
    explicit RenderJob(const Cmidfil& midi);
    ~RenderJob();

    // One whole run: builds the lists on the first run (or after a build an abort cut
    // short), else resets them; configures the rack; renders until the end and the tail,
    // or until the abort flag is set or the WAVE file has failed. Reports progress after
    // every block and once more at the end. Leaves no voice behind.
    void run(SequencerContext& ctx, EffectsRack& rack, Cwavfil& out, const Progress& progress);

    // Destroys every channel's preset and voices (after a run that could not finish).
    void dropVoices() noexcept;

    bool built() const noexcept { return built_; }
    std::int32_t endTick() const noexcept { return endTick_; }
    double total() const noexcept { return total_; }
    double elapsed() const noexcept { return elapsed_; }
    double currentTick() const noexcept { return currentTick_; }
    double tempo() const noexcept { return tempo_; }
    // elapsed x 100 / total, truncated; 100 for a performance of no length.
    int progressPercent() const noexcept;
    const MidiChannel* channel(int index) const noexcept {
        return channels_[static_cast<std::size_t>(index)].get();
    }
    const std::vector<TempoRef>& tempoList() const noexcept { return tempos_; }

    // Tempo arithmetic shared with the tests: a tempo (microseconds per quarter note) as
    // the tempo option makes it, never below one microsecond.
    static double effectiveTempo(double tempo, int tempoPercent) noexcept;

private:
    void build(SequencerContext& ctx);
    void reset(SequencerContext& ctx);
    void updateRates(SequencerContext& ctx) noexcept;
    void applyTempo(SequencerContext& ctx);
    bool renderStep(SequencerContext& ctx, EffectsRack& rack, Cwavfil& out);
    void renderTail(SequencerContext& ctx, EffectsRack& rack, Cwavfil& out);
    bool stopped(const SequencerContext& ctx, const Cwavfil& out) const noexcept;
    double division() const noexcept;

    const Cmidfil& midi_;
    std::vector<TempoRef> tempos_;
    std::array<std::unique_ptr<MidiChannel>, 16> channels_;
    std::int32_t endTick_ = 0;
    double currentTick_ = 0.0;
    double tempo_ = kInitialTempo;
    double elapsed_ = 0.0;
    double total_ = 0.0;
    std::size_t tempoCursor_ = 0;
    bool built_ = false;
};

} // namespace korvelt
