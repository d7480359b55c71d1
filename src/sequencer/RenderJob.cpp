#include "sequencer/RenderJob.h"

#include "effects/EffectsRack.h"
#include "effects/MixBus.h"
#include "engine/FrameSink.h"
#include "engine/RenderOptions.h"
#include "midi/Cmidfil.h"
#include "sequencer/SequencerContext.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace korvelt {

RenderJob::RenderJob(const Cmidfil& midi) : midi_(midi) {}
RenderJob::~RenderJob() = default;

double RenderJob::effectiveTempo(double tempo, int tempoPercent) noexcept {
    const double t = tempo - (tempo * tempoPercent) * -0.01;
    // A tempo of 0 (a set-tempo event of 0, or the option at -100 % or below) would stop
    // time; one microsecond per quarter note is as fast as the program goes.
    return t < 1.0 ? 1.0 : t;
}

double RenderJob::division() const noexcept {
    // A division of 0 would give infinite rates; the file is played as one tick per quarter.
    return midi_.division() == 0 ? 1.0 : double(midi_.division());
}

int RenderJob::progressPercent() const noexcept {
    if (total_ <= 0.0)
        return 100;
    const double percent = elapsed_ * 100.0 / total_;
    return percent >= double(INT_MAX) ? INT_MAX : static_cast<int>(percent);
}

void RenderJob::build(SequencerContext& ctx) {
    // Built from scratch every time, so a build an abort cut short leaves nothing behind.
    built_ = false;
    tempos_.clear();
    for (auto& channel : channels_)
        channel.reset();
    endTick_ = 0;

    for (std::size_t t = 0; t < midi_.trackCount() && !ctx.aborted(); ++t) {
        const Ctrack* track = midi_.track(t);
        if (track == nullptr)
            continue;
        for (const Cmidiev& event : track->events()) {
            if (ctx.aborted())
                break;
            if (event.kind() == Cmidiev::kChannel) {
                auto& slot = channels_[static_cast<std::size_t>(event.channel())];
                if (!slot)
                    slot = std::make_unique<MidiChannel>(event.channel());
                slot->events().push_back({event.tick(), static_cast<std::uint8_t>(event.command()),
                                          static_cast<std::uint8_t>(event.data1()),
                                          static_cast<std::uint8_t>(event.data2())});
            } else if (event.kind() == Cmidiev::kMeta && event.metaType() == 0x51) {
                tempos_.push_back({event.tick(), event.tempo()});
            } else {
                continue;
            }
            endTick_ = std::max(endTick_, event.tick());
        }
    }
    if (ctx.aborted())
        return;

    // Each list in tick order; events of equal tick keep the order they were met in (by
    // track, then by position in the track).
    auto byTick = [](const auto& a, const auto& b) { return a.tick < b.tick; };
    std::stable_sort(tempos_.begin(), tempos_.end(), byTick);
    for (auto& channel : channels_)
        if (channel)
            std::stable_sort(channel->events().begin(), channel->events().end(), byTick);

    total_ = duration(tempos_, endTick_, ctx.options.tempoPercent);

    reset(ctx);
    built_ = true;
}

double RenderJob::duration(const std::vector<TempoRef>& tempos, std::int32_t endTick,
                           int tempoPercent) const noexcept {
    double tempo = effectiveTempo(kInitialTempo, tempoPercent);
    double from = 0.0;
    double total = 0.0;
    for (const TempoRef& change : tempos) {
        const double d = std::min<double>(change.tick, endTick);
        total += (d - from) * tempo / division();
        tempo = effectiveTempo(change.tempo, tempoPercent);
        from = d;
        if (d >= endTick)
            break;
    }
    if (from < endTick)
        total += (endTick - from) * tempo / division();
    return total;
}

double RenderJob::plannedDuration(int tempoPercent) const {
    // The same events as build() keeps for the end tick and the tempo list.
    std::vector<TempoRef> tempos;
    std::int32_t endTick = 0;
    for (const Ctrack& track : midi_.tracks()) {
        for (const Cmidiev& event : track.events()) {
            const bool tempo = event.kind() == Cmidiev::kMeta && event.metaType() == 0x51;
            if (tempo)
                tempos.push_back({event.tick(), event.tempo()});
            if (tempo || event.kind() == Cmidiev::kChannel)
                endTick = std::max(endTick, event.tick());
        }
    }
    std::stable_sort(tempos.begin(), tempos.end(),
                     [](const TempoRef& a, const TempoRef& b) { return a.tick < b.tick; });
    return duration(tempos, endTick, tempoPercent);
}

std::int64_t RenderJob::plannedFrames(int tempoPercent) const {
    const double frames = std::ceil(plannedDuration(tempoPercent) / kMicrosecondsPerFrame);
    // Far beyond anything a WAVE file holds; kept finite for the sum below.
    constexpr double kHuge = 1e15;
    return static_cast<std::int64_t>(std::min(frames, kHuge)) + kTailAllowance;
}

void RenderJob::reset(SequencerContext& ctx) {
    currentTick_ = 0.0;
    elapsed_ = 0.0;
    tempoCursor_ = 0;
    tempo_ = effectiveTempo(kInitialTempo, ctx.options.tempoPercent);
    for (auto& channel : channels_)
        if (channel)
            channel->reset();
    updateRates(ctx);
}

void RenderJob::updateRates(SequencerContext& ctx) noexcept {
    ctx.rates.framesPerTick = tempo_ * double(kSampleRate) / division() * 1e-6;
    ctx.rates.ticksPerFrame = division() * kMicrosecondsPerFrame / tempo_;
}

void RenderJob::applyTempo(SequencerContext& ctx) {
    tempo_ = effectiveTempo(tempos_[tempoCursor_].tempo, ctx.options.tempoPercent);
    updateRates(ctx);
    ++tempoCursor_;
}

bool RenderJob::stopped(const SequencerContext& ctx, const FrameSink& out) const noexcept {
    // A sink that can take no more frames (a full disk) ends the run like an abort: nothing
    // more would reach it.
    return ctx.aborted() || out.failed();
}

bool RenderJob::renderStep(SequencerContext& ctx, EffectsRack& rack, FrameSink& out) {
    MixBus& bus = ctx.bus();
    bus.blockOffset = 0;
    int filled = 0;
    while (!stopped(ctx, out)) {
        if (endTick_ <= currentTick_) {
            while (tempoCursor_ < tempos_.size() && !ctx.aborted())
                applyTempo(ctx);
            if (filled > 0 && !ctx.aborted()) {
                rack.processBlock(filled, out);
                elapsed_ += filled * kMicrosecondsPerFrame;
                ctx.place.blockStartFrame += filled;
            }
            renderTail(ctx, rack, out);
            return false;
        }
        int span = kBlockFrames - filled;
        const bool tempoPending = tempoCursor_ < tempos_.size();
        if (tempoPending) {
            const double d = (tempos_[tempoCursor_].tick - currentTick_) * ctx.rates.framesPerTick;
            if (d < double(span))
                span = d > 0.0 ? static_cast<int>(d) : 0;
        }
        if (span != 0) {
            const int offset = bus.blockOffset;
            const auto& mixer = ctx.options.mixer;
            for (std::size_t c = 0; c < channels_.size() && !ctx.aborted(); ++c) {
                bus.blockOffset = offset;
                ctx.place.channel = static_cast<int>(c);
                if (channels_[c] && !mixer[c].muted)
                    channels_[c]->render(ctx, span);
            }
            ctx.place.channel = -1;
            currentTick_ += span * ctx.rates.ticksPerFrame;
            filled += span;
            bus.blockOffset = offset + span;
            continue;
        }
        if (filled == kBlockFrames) {
            rack.processBlock(kBlockFrames, out);
            elapsed_ += 5000000.0;
            ctx.place.blockStartFrame += kBlockFrames;
            return true;
        }
        applyTempo(ctx); // due within the current frame
    }
    return true;
}

void RenderJob::renderTail(SequencerContext& ctx, EffectsRack& rack, FrameSink& out) {
    // All notes off releases every voice, whatever the pedals hold.
    for (auto& channel : channels_) {
        if (ctx.aborted())
            break;
        if (channel) {
            ctx.place.channel = channel->channel();
            channel->handle(ctx, 11, 123, 0);
        }
    }
    ctx.place.channel = -1;
    MixBus& bus = ctx.bus();
    bool any = true;
    int seconds = 0;
    while (any && !stopped(ctx, out)) {
        // A voice whose release lasts hours (a damaged bank's release time) would keep the
        // tail going until the WAVE file is full: after kMaxTailSeconds what still sounds
        // is cut.
        if (seconds++ == kMaxTailSeconds)
            for (auto& channel : channels_)
                if (channel)
                    channel->dropPreset();
        any = false;
        for (auto& channel : channels_) {
            if (ctx.aborted())
                break;
            bus.blockOffset = 0;
            if (channel && channel->isSounding()) {
                ctx.place.channel = channel->channel();
                channel->renderVoices(ctx, kTailFrames);
                any = true;
            }
        }
        ctx.place.channel = -1;
        if (!ctx.aborted()) {
            rack.processBlock(kTailFrames, out);
            ctx.place.blockStartFrame += kTailFrames;
        }
    }
    if (!stopped(ctx, out))
        rack.flushTail(out);
}

void RenderJob::run(SequencerContext& ctx, EffectsRack& rack, FrameSink& out,
                    const Progress& progress) {
    ctx.place = RenderPlace{};
    if (!built_)
        build(ctx);
    else
        reset(ctx);
    if (built_) {
        rack.configure();
        bool more = renderStep(ctx, rack, out);
        while (more && !stopped(ctx, out)) {
            if (progress)
                progress(progressPercent());
            more = renderStep(ctx, rack, out);
        }
    }
    if (progress)
        progress(progressPercent());
    // No voice outlives the run: the bank may be replaced before the next one.
    dropVoices();
}

void RenderJob::dropVoices() noexcept {
    for (auto& channel : channels_)
        if (channel)
            channel->dropPreset();
}

} // namespace korvelt
