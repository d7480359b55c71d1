#pragma once

#include <atomic>
#include <memory>

#include "effects/Chorus.h"
#include "effects/Delay.h"
#include "effects/MixBus.h"
#include "effects/OutputStage.h"
#include "effects/Reverb.h"

namespace korvelt {

class FrameSink;
struct RenderOptions;

// The end of the signal chain. The voices mix into the six buffers of the mix bus; after
// each rendered block processBlock turns them into finished frames (delay on the dry pair,
// reverb and chorus added from their sends, then the output stage) and hands them to a
// frame sink. A rack may serve many renders one after the other (the desktop program keeps
// one for its life): each render binds its own options and abort flag and configures it.
//
// The effects run over runs of up to kRun frames, each effect over the whole run before
// the next (their outputs are summed in the same order as frame by frame, so the result is
// bit for bit that of processing frame by frame). The abort request is therefore tested
// once per run of kRun frames rather than before every frame, and the delay settings are
// read once per run.
class EffectsRack {
public:
    static constexpr int kRun = 256;

    EffectsRack(const RenderOptions& options, const std::atomic<bool>& abortRequested);
    EffectsRack(const EffectsRack&) = delete;
    EffectsRack& operator=(const EffectsRack&) = delete;

    // Prepares a conversion: zeroes the mix bus, sets the reverb's room size and damping
    // and clears the effect lines, and resets the output stage with the master volume and
    // the compressor level of the options. The compressor switch is taken here, together
    // with its make-up gain.
    void configure();
    // The options and the abort flag the rack reads from now on, instead of those it was
    // made with (both must outlive their use): a render binds its own before it starts.
    void bind(const RenderOptions& options, const std::atomic<bool>& abortRequested) noexcept {
        options_ = &options;
        abortRequested_ = &abortRequested;
    }

    // Processes frames 0 ... frames - 1 of the mix bus (at most MixBus::kBlockFrames; a
    // larger count is cut to that, a negative one is 0) into the sink, stopping
    // early when an abort is requested. Afterwards the bus positions are 0 and the
    // processed frames of all six buffers are zeroed.
    void processBlock(int frames, FrameSink& out);

    // After the last block: runs the effects on silence for tailFrames() frames, so the
    // look-ahead line, the delay and the reverb empty into the sink. The chorus does not
    // run. Stops early when an abort is requested.
    void flushTail(FrameSink& out);

    // 2794 + 131072 frames, plus 44100 when the delay is on.
    int tailFrames() const;
    // The longest tail flushTail can write, whatever the settings.
    static constexpr int kMaxTailFrames =
        Reverb::kTailLength + OutputStage::kLookAhead + Delay::kLength;

    MixBus& mixBus() noexcept { return bus_; }
    const Reverb& reverb() const noexcept { return *reverb_; }
    const Chorus& chorus() const noexcept { return *chorus_; }
    const Delay& delay() const noexcept { return *delay_; }
    const OutputStage& outputStage() const noexcept { return output_; }

private:
    bool delayOn() const;
    void takeDelaySettings();

    const RenderOptions* options_;
    const std::atomic<bool>* abortRequested_;
    OutputStage output_;
    std::unique_ptr<Reverb> reverb_;
    std::unique_ptr<Chorus> chorus_;
    std::unique_ptr<Delay> delay_;
    MixBus bus_;

    struct TailScratch {
        alignas(64) float left[kRun];
        alignas(64) float right[kRun];
        alignas(64) float silence[kRun];
    };
    std::unique_ptr<TailScratch> tail_;
};

} // namespace korvelt
