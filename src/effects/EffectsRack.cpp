#include "effects/EffectsRack.h"

#include <algorithm>
#include <cmath>

#include "engine/FrameSink.h"
#include "engine/RenderOptions.h"

namespace korvelt {

namespace {

float decibelsToGain(int db) noexcept {
    return static_cast<float>(std::pow(10.0, db * 0.05));
}

// NaN counts as the lower bound.
float bounded(float v, float lo, float hi) noexcept {
    if (!(v >= lo))
        return lo;
    return v > hi ? hi : v;
}

} // namespace

EffectsRack::EffectsRack(const RenderOptions& options, const std::atomic<bool>& abortRequested)
    : options_(&options), abortRequested_(&abortRequested), reverb_(std::make_unique<Reverb>()),
      chorus_(std::make_unique<Chorus>()), delay_(std::make_unique<Delay>()),
      tail_(std::make_unique<TailScratch>()) {
    std::fill(std::begin(tail_->silence), std::end(tail_->silence), 0.0f);
    configure();
}

void EffectsRack::configure() {
    bus_.clear(MixBus::kBlockFrames);
    // A room size above 1 would bring the comb feedback to 1 and beyond (a reverb that
    // never decays), so both values are held within their ranges.
    reverb_->setRoomSize(bounded(options_->reverbRoomSize, 0.0f, 1.0f));
    reverb_->setDamp(static_cast<float>(std::clamp<int>(options_->reverbDamping, 0, 100) * 0.01));
    reverb_->mute();
    chorus_->clear();
    delay_->clear();
    const int compressor = options_->compressorLevel;
    output_.reset(decibelsToGain(options_->masterVolumeDb), decibelsToGain(compressor),
                  compressor != 0);
    bus_.blockOffset = 0;
    bus_.mixPosition = 0;
}

bool EffectsRack::delayOn() const {
    return options_->delayAmount.get() > 0.0f;
}

void EffectsRack::takeDelaySettings() {
    delay_->setParameters(options_->delayTimeMs, options_->delayModulationMs,
                          options_->delayFeedback, options_->delayAmount,
                          options_->delayStereoSpreadMs);
}

void EffectsRack::processBlock(int frames, FrameSink& out) {
    const int n = std::clamp(frames, 0, MixBus::kBlockFrames);
    float* dryL = bus_.buffer(MixBus::DryLeft);
    float* dryR = bus_.buffer(MixBus::DryRight);
    const float* chorusL = bus_.buffer(MixBus::ChorusLeft);
    const float* chorusR = bus_.buffer(MixBus::ChorusRight);
    const float* reverbL = bus_.buffer(MixBus::ReverbLeft);
    const float* reverbR = bus_.buffer(MixBus::ReverbRight);

    // The dry buffers are worked on in place: they are zeroed afterwards anyway.
    for (int start = 0; start < n; start += kRun) {
        if (abortRequested_->load(std::memory_order_relaxed))
            break;
        const int m = std::min(kRun, n - start);
        float* L = dryL + start;
        float* R = dryR + start;
        if (delayOn()) {
            takeDelaySettings();
            delay_->processRun(L, R, m);
        }
        reverb_->processRun(reverbL + start, reverbR + start, L, R, m);
        chorus_->processRun(chorusL + start, chorusR + start, L, R, m);
        output_.processRun(L, R, m, out);
    }

    bus_.blockOffset = 0;
    bus_.mixPosition = 0;
    bus_.clear(n);
}

int EffectsRack::tailFrames() const {
    return Reverb::kTailLength + OutputStage::kLookAhead + (delayOn() ? Delay::kLength : 0);
}

void EffectsRack::flushTail(FrameSink& out) {
    const bool withDelay = delayOn();
    const int total = tailFrames();
    if (withDelay)
        takeDelaySettings();
    TailScratch& t = *tail_;
    for (int start = 0; start < total; start += kRun) {
        if (abortRequested_->load(std::memory_order_relaxed))
            break;
        const int m = std::min(kRun, total - start);
        std::fill(t.left, t.left + m, 0.0f);
        std::fill(t.right, t.right + m, 0.0f);
        if (withDelay)
            delay_->processRun(t.left, t.right, m);
        reverb_->processRun(t.silence, t.silence, t.left, t.right, m);
        output_.processRun(t.left, t.right, m, out);
    }
}

} // namespace korvelt
