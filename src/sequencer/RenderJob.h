#pragma once

#include "effects/EffectsRack.h"
#include "engine/RenderConstants.h"
#include "sequencer/EventRef.h"
#include "sequencer/MidiChannel.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvelt {

class Cmidfil;
class FrameSink;
struct SequencerContext;

// The performance of one loaded MIDI file, ready to render any number of times: sixteen
// per-channel event lists and the tempo list, built on the first run. A run renders blocks
// of five seconds through the effects rack into a frame sink, with every channel event
// at its exact frame, then the tail until every voice has ended.
class RenderJob {
public:
    static constexpr int kBlockFrames = korvelt::kBlockFrames;
    // The tail after the last event renders in blocks of one second.
    static constexpr int kTailFrames = kSampleRate;
    // The longest tail after the last event's block, in one-second blocks (ten minutes).
    static constexpr int kMaxTailSeconds = 600;
    static constexpr double kMicrosecondsPerFrame = korvelt::kMicrosecondsPerFrame;
    // The tempo of a file without a set-tempo event at its start: the Standard MIDI File
    // default of 120 beats per minute.
    static constexpr double kInitialTempo = 500000.0;
    // The most frames a run writes beyond the performance's own frames: the rest of the
    // block the end falls in, the longest tail (kMaxTailSeconds and the silent second that
    // ends it) and the longest effects tail.
    static constexpr std::int64_t kTailAllowance = std::int64_t(kBlockFrames) +
                                                   std::int64_t(kMaxTailSeconds + 1) * kTailFrames +
                                                   EffectsRack::kMaxTailFrames;

    // Called after every block with the progress in percent (0 ... about 100).
    using Progress = std::function<void(int percent)>;

    // The file must outlive the job; it is read when the job is first run.
    explicit RenderJob(const Cmidfil& midi);
    ~RenderJob();

    // One whole run: builds the lists on the first run (or after a build an abort cut
    // short), else resets them; configures the rack; renders until the end and the tail,
    // or until the abort flag is set or the sink has failed. Reports progress after
    // every block and once more at the end. Leaves no voice behind.
    void run(SequencerContext& ctx, EffectsRack& rack, FrameSink& out, const Progress& progress);

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

    // The performance's duration in microseconds under this tempo option, from the file
    // alone (the lists need not be built): what total() will be once they are.
    double plannedDuration(int tempoPercent) const;
    // The most frames a run of the file can write under this tempo option: its duration
    // rounded up to whole frames, plus kTailAllowance.
    std::int64_t plannedFrames(int tempoPercent) const;

private:
    void build(SequencerContext& ctx);
    void reset(SequencerContext& ctx);
    void updateRates(SequencerContext& ctx) noexcept;
    void applyTempo(SequencerContext& ctx);
    bool renderStep(SequencerContext& ctx, EffectsRack& rack, FrameSink& out);
    void renderTail(SequencerContext& ctx, EffectsRack& rack, FrameSink& out);
    bool stopped(const SequencerContext& ctx, const FrameSink& out) const noexcept;
    double division() const noexcept;
    // The duration from tick 0 to endTick through the tempo changes (in tick order).
    double duration(const std::vector<TempoRef>& tempos, std::int32_t endTick,
                    int tempoPercent) const noexcept;

    const Cmidfil& midi_;
    std::vector<TempoRef> tempos_;
    std::array<std::unique_ptr<MidiChannel>, kMidiChannels> channels_;
    std::int32_t endTick_ = 0;
    double currentTick_ = 0.0;
    double tempo_ = kInitialTempo;
    double elapsed_ = 0.0;
    double total_ = 0.0;
    std::size_t tempoCursor_ = 0;
    bool built_ = false;
};

} // namespace korvelt
