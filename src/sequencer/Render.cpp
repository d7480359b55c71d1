#include "sequencer/Render.h"

#include "bank/Csf2file.h"
#include "effects/EffectsRack.h"
#include "effects/MixBus.h"
#include "engine/FrameSink.h"
#include "engine/RenderConstants.h"
#include "engine/RenderOptions.h"
#include "platform/Notifier.h"
#include "sequencer/SequencerContext.h"

#include <exception>
#include <memory>

namespace korvelt {
namespace {

// The messages of a render's MIDI and bank data, handed on with their place in the
// performance: the channel at work and the time of the frame being played. Used on the
// render's thread only, which is also where the place changes.
class PlacedNotifier final : public Notifier {
public:
    explicit PlacedNotifier(Notifier& target) : target_(target) {}
    // The context whose place the messages get (made after this object, as it refers to it).
    void readPlaceFrom(const SequencerContext& ctx) noexcept { ctx_ = &ctx; }

    void show(Severity severity, const std::string& title, const std::string& text) override {
        DataPlace place;
        if (ctx_ != nullptr) {
            const double frame = double(ctx_->place.blockStartFrame + ctx_->bus().blockOffset);
            place = DataPlace{ctx_->place.channel, frame / kSampleRate};
        }
        target_.showDataProblem(severity, title, text, place);
    }
    void showFileProblem(Severity severity, const std::string& title, const std::string& text,
                         const FileProblem& problem) override {
        target_.showFileProblem(severity, title, text, problem);
    }

private:
    Notifier& target_;
    const SequencerContext* ctx_ = nullptr;
};

} // namespace

RenderOutcome render(RenderJob& job, EffectsRack& rack, const RenderRequest& request) {
    PlacedNotifier messages(request.messages);
    SequencerContext ctx{request.options,
                         messages,
                         request.bank,
                         VoiceServices{request.options, messages, request.bank.sampleStore(),
                                       rack.mixBus(), request.abortRequested},
                         {},
                         {}};
    messages.readPlaceFrom(ctx);
    rack.bind(request.options, request.abortRequested);
    try {
        job.run(ctx, rack, request.sink, request.progress);
    } catch (const std::exception&) {
        // Memory ran out (a damaged bank asking for absurd numbers of voices or zones): the
        // render ends there.
        job.dropVoices();
        return RenderOutcome::OutOfMemory;
    }
    if (request.abortRequested.load(std::memory_order_relaxed))
        return RenderOutcome::Aborted;
    if (request.sink.failed())
        return RenderOutcome::SinkFailed;
    return RenderOutcome::Finished;
}

RenderOutcome render(const Cmidfil& midi, const RenderRequest& request) {
    std::unique_ptr<RenderJob> job;
    std::unique_ptr<EffectsRack> rack;
    try {
        job = std::make_unique<RenderJob>(midi);
        rack = std::make_unique<EffectsRack>(request.options, request.abortRequested);
    } catch (const std::exception&) {
        return RenderOutcome::OutOfMemory;
    }
    return render(*job, *rack, request);
}

} // namespace korvelt
