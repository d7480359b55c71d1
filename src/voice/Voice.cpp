#include "voice/Voice.h"

#include "effects/MixBus.h"
#include "engine/RenderOptions.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "voice/GeneratorTable.h"
#include "voice/VoiceMath.h"

#include <algorithm>
#include <string>

namespace korvelt {

namespace {

constexpr int kBlock = voice::kControlFrames;

// Adds one block of a voice's samples into the six buffers, each with its own factor.
void addBlock(const float* __restrict x, int frames, const float (&factor)[MixBus::kBufferCount],
              float* __restrict dryLeft, float* __restrict dryRight, float* __restrict chorusLeft,
              float* __restrict chorusRight, float* __restrict reverbLeft,
              float* __restrict reverbRight) noexcept {
    for (int j = 0; j < frames; ++j) {
        const float s = x[j];
        dryLeft[j] += factor[MixBus::DryLeft] * s;
        dryRight[j] += factor[MixBus::DryRight] * s;
        chorusLeft[j] += factor[MixBus::ChorusLeft] * s;
        chorusRight[j] += factor[MixBus::ChorusRight] * s;
        reverbLeft[j] += factor[MixBus::ReverbLeft] * s;
        reverbRight[j] += factor[MixBus::ReverbRight] * s;
    }
}

// Adds one block of a stereo pair's left and right signals into the six buffers.
void addStereoBlock(const float* __restrict left, const float* __restrict right, int frames,
                    float dry, float chorus, float reverb, float* __restrict dryLeft,
                    float* __restrict dryRight, float* __restrict chorusLeft,
                    float* __restrict chorusRight, float* __restrict reverbLeft,
                    float* __restrict reverbRight) noexcept {
    for (int j = 0; j < frames; ++j) {
        const float l = left[j], r = right[j];
        dryLeft[j] += l * dry;
        dryRight[j] += r * dry;
        chorusLeft[j] += chorus * l;
        chorusRight[j] += chorus * r;
        reverbLeft[j] += reverb * l;
        reverbRight[j] += reverb * r;
    }
}

} // namespace

Voice::Voice(SampleHeader& sample, const VoiceServices& services) noexcept
    : oscillator_(sample, modulationEnvelope_, vibratoLfo_, modulationLfo_),
      filter_(modulationEnvelope_, modulationLfo_), amplifier_(modulationLfo_, volumeEnvelope_),
      services_(services) {}

void Voice::applyGenerators(std::span<const Generator> generators, bool additive) {
    for (const Generator& generator : generators) {
        if (generator.oper > gen::Highest) {
            if (services_.options.showMidiErrors)
                services_.notifier.show(
                    Severity::Warning, msg::kInvalidGeneratorTitle,
                    msg::invalidGeneratorText(generator.oper,
                                              static_cast<std::uint16_t>(generator.amount)));
            continue;
        }
        switch (generatorInfo(generator.oper).unit) {
        case GeneratorUnit::Oscillator:
            oscillator_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::ModulationEnvelope:
            modulationEnvelope_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::VolumeEnvelope:
            volumeEnvelope_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::ModulationLfo:
            modulationLfo_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::VibratoLfo:
            vibratoLfo_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::Filter:
            filter_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::Amplifier:
            amplifier_.applyGenerator(generator, additive);
            break;
        case GeneratorUnit::Voice:
            switch (generator.oper) {
            case gen::ChorusEffectsSend:
                applyGeneratorAmount(chorusSend_, generator, additive);
                break;
            case gen::ReverbEffectsSend:
                applyGeneratorAmount(reverbSend_, generator, additive);
                break;
            case gen::Pan:
                applyGeneratorAmount(pan_, generator, additive);
                break;
            case gen::Keynum:
                applyGeneratorAmount(keyOverride_, generator, additive);
                break;
            case gen::Velocity:
                applyGeneratorAmount(velocityOverride_, generator, additive);
                break;
            default:
                break;
            }
            break;
        case GeneratorUnit::None:
            break;
        }
    }
}

void Voice::prepare() noexcept {
    modulationEnvelope_.prepare();
    volumeEnvelope_.prepare();
    vibratoLfo_.prepare();
    modulationLfo_.prepare();
}

float Voice::sendLevel(float amount, std::int32_t send, int channelSend) const noexcept {
    float level = static_cast<float>(amount + (double(send) + channelSend) * 0.001);
    if (level > 1.0f)
        level = 1.0f;
    if (!(level >= 0.0f))
        level = 0.0f;
    return level;
}

void Voice::updatePanGains() noexcept {
    const int p = std::clamp(pan_, -500, 500);
    leftGain_ = static_cast<float>((500 - p) / 1000.0);
    rightGain_ = static_cast<float>((500 + p) / 1000.0);
}

void Voice::start(int key, int velocity, float channelAttenuation, int bendCents, int channelReverb,
                  int channelChorus, int channelPan, bool keyTracking, bool softPedal) {
    oscillator_.setPitchBend(bendCents);
    reverbLevel_ = sendLevel(services_.options.reverbAmount, reverbSend_, channelReverb);
    chorusLevel_ = sendLevel(services_.options.chorusAmount, chorusSend_, channelChorus);
    if (channelPan < 2000)
        pan_ = channelPan;
    updatePanGains();
    key_ = key;
    // An override outside 0...127 (-1 in banks) is no override; the key the units see is
    // limited to the 128 keys.
    const int k = std::clamp(keyOverride_ >= 0 && keyOverride_ <= 127 ? keyOverride_ : key, 0, 127);
    const int v = velocityOverride_ >= 0 && velocityOverride_ <= 127 ? velocityOverride_ : velocity;
    holdState_ = HoldState::Free;
    keyDown_ = true;
    modulationEnvelope_.start(k);
    volumeEnvelope_.start(k);
    vibratoLfo_.reset();
    modulationLfo_.reset();
    oscillator_.start(k, keyTracking, services_.store,
                      services_.options.showMidiErrors ? &services_.notifier : nullptr);
    amplifier_.start(channelAttenuation, v, softPedal);
    filter_.start(v);
}

void Voice::release() noexcept {
    keyDown_ = false;
    oscillator_.release();
    modulationEnvelope_.release();
    volumeEnvelope_.release();
}

void Voice::noteOff(int /*releaseVelocity: no effect on the sound*/) noexcept {
    keyDown_ = false;
    switch (holdState_) {
    case HoldState::Free:
        release();
        break;
    case HoldState::SustainHeld:
        holdState_ = HoldState::SustainReleasePending;
        break;
    case HoldState::SostenutoHeld:
        holdState_ = HoldState::SostenutoReleasePending;
        break;
    case HoldState::SustainReleasePending:
    case HoldState::SostenutoReleasePending:
        break;
    }
}

void Voice::sustainPedal(bool down) noexcept {
    if (down) {
        if (holdState_ == HoldState::Free)
            holdState_ = HoldState::SustainHeld;
    } else if (holdState_ == HoldState::SustainHeld) {
        holdState_ = HoldState::Free;
    } else if (holdState_ == HoldState::SustainReleasePending) {
        holdState_ = HoldState::Free;
        release();
    }
}

void Voice::sostenutoOn() noexcept {
    if (keyDown_ && (holdState_ == HoldState::Free || holdState_ == HoldState::SustainHeld))
        holdState_ = HoldState::SostenutoHeld;
}

void Voice::sostenutoOff(bool sustainDown) noexcept {
    if (holdState_ == HoldState::SostenutoHeld) {
        holdState_ = sustainDown ? HoldState::SustainHeld : HoldState::Free;
    } else if (holdState_ == HoldState::SostenutoReleasePending) {
        if (sustainDown) {
            holdState_ = HoldState::SustainReleasePending;
        } else {
            holdState_ = HoldState::Free;
            release();
        }
    }
}

void Voice::setPan(int channelPan) noexcept {
    pan_ = channelPan;
    updatePanGains();
}

void Voice::setReverbSend(int channelReverb) noexcept {
    reverbLevel_ = sendLevel(services_.options.reverbAmount, reverbSend_, channelReverb);
}

void Voice::setChorusSend(int channelChorus) noexcept {
    chorusLevel_ = sendLevel(services_.options.chorusAmount, chorusSend_, channelChorus);
}

void Voice::controlTick(bool tickVibrato) noexcept {
    if (filter_.isOn())
        filter_.updateCutoff();
    modulationEnvelope_.tick();
    volumeEnvelope_.tick();
    if (tickVibrato)
        vibratoLfo_.tick();
    modulationLfo_.tick();
}

void Voice::mixMono(const float* samples, int frames, int at) noexcept {
    const float g = amplifier_.gain();
    if (g == 0.0f)
        return; // adds nothing
    const float c = chorusLevel_, r = reverbLevel_;
    const float d = 1.0f - c - r;
    const float left = leftGain_ * g, right = rightGain_ * g;
    const float factor[MixBus::kBufferCount] = {left * d,  right * d, c * left,
                                                c * right, r * left,  r * right};
    MixBus& bus = services_.bus;
    addBlock(samples, frames, factor, bus.buffer(MixBus::DryLeft) + at,
             bus.buffer(MixBus::DryRight) + at, bus.buffer(MixBus::ChorusLeft) + at,
             bus.buffer(MixBus::ChorusRight) + at, bus.buffer(MixBus::ReverbLeft) + at,
             bus.buffer(MixBus::ReverbRight) + at);
}

void Voice::mixStereo(const float* right, const float* left, const Voice& partner, int frames,
                      int at) noexcept {
    const float g1 = amplifier_.gain(), g2 = partner.amplifier_.gain();
    if (g1 == 0.0f && g2 == 0.0f)
        return;
    const float l1 = leftGain_ * g1, r1 = rightGain_ * g1;
    const float l2 = partner.leftGain_ * g2, r2 = partner.rightGain_ * g2;
    float l[kBlock], r[kBlock];
    for (int j = 0; j < frames; ++j) {
        const float s1 = right[j], s2 = left[j];
        l[j] = l1 * s1 + l2 * s2;
        r[j] = r1 * s1 + r2 * s2;
    }
    const float c = chorusLevel_, rv = reverbLevel_;
    MixBus& bus = services_.bus;
    addStereoBlock(l, r, frames, 1.0f - c - rv, c, rv, bus.buffer(MixBus::DryLeft) + at,
                   bus.buffer(MixBus::DryRight) + at, bus.buffer(MixBus::ChorusLeft) + at,
                   bus.buffer(MixBus::ChorusRight) + at, bus.buffer(MixBus::ReverbLeft) + at,
                   bus.buffer(MixBus::ReverbRight) + at);
}

int Voice::renderOwnBlock(float* out, int frames, int fill) noexcept {
    int produced;
    if (filter_.isOn()) {
        LowPassFilter::Kernel kernel = filter_.kernel();
        produced = oscillator_.renderBlock(out, frames, [&kernel](double x) { return kernel(x); });
        for (int j = produced; j < fill; ++j)
            out[j] = static_cast<float>(kernel(0.0));
        filter_.keep(kernel);
    } else {
        produced = oscillator_.renderBlock(out, frames, [](double x) { return x; });
        for (int j = produced; j < fill; ++j)
            out[j] = 0.0f;
    }
    return produced;
}

// The abort flag is tested once per block of 20 frames rather than before every frame:
// a block is at most 0.45 ms of sound.
int Voice::renderBlock(int frames, int at) noexcept {
    oscillator_.updatePitchModulation();
    amplifier_.updateGain();
    float s[kBlock];
    const int produced = renderOwnBlock(s, frames);
    mixMono(s, produced, at);
    return produced;
}

void Voice::endBlock() noexcept {
    controlTick(true);
    if (volumeEnvelope_.isFinished())
        oscillator_.stop();
}

void Voice::renderRest(int at, int done, int frames) noexcept {
    while (done < frames && blockCanStart()) {
        const int produced = renderBlock(std::min(kBlock, frames - done), at);
        at += produced;
        done += produced;
        endBlock();
    }
    services_.bus.mixPosition = at;
    if (oscillator_.isStopped())
        oscillator_.releaseData();
}

void Voice::render(int frames) noexcept {
    const int at = services_.bus.mixPosition;
    if (at < 0 || at >= MixBus::kBlockFrames)
        return;
    renderRest(at, 0, std::min(frames, MixBus::kBlockFrames - at));
}

void Voice::renderPair(Voice& a, Voice& b, int frames) noexcept {
    int at = a.services_.bus.mixPosition;
    if (at < 0 || at >= MixBus::kBlockFrames)
        return;
    frames = std::min(frames, MixBus::kBlockFrames - at);
    int done = 0;
    while (done < frames && a.blockCanStart() && b.blockCanStart()) {
        const int n = std::min(kBlock, frames - done);
        // The block's pitch first: whether it may take the fast path depends on the
        // increment it is rendered with.
        a.oscillator_.updatePitchModulation();
        a.amplifier_.updateGain();
        b.oscillator_.updatePitchModulation();
        b.amplifier_.updateGain();
        float sa[kBlock], sb[kBlock];
        int producedA = n, producedB = n;
        if (a.oscillator_.canRenderInterpolated(n) && b.oscillator_.canRenderInterpolated(n)) {
            renderInterpolatedPair(a, sa, b, sb, n);
        } else {
            // An end, a loop point or a direct copy in this block: one voice at a time.
            producedA = a.renderOwnBlock(sa, n);
            producedB = b.renderOwnBlock(sb, n);
        }
        a.mixMono(sa, producedA, at);
        b.mixMono(sb, producedB, at);
        a.endBlock();
        b.endBlock();
        if (producedA < n || producedB < n) {
            // A voice stopped within the block: the other goes on alone (and the stopped
            // one lets go of its sample).
            a.renderRest(at + n, done + n, frames);
            b.renderRest(at + n, done + n, frames);
            return;
        }
        at += n;
        done += n;
    }
    // One of them stopped (or the abort came): the other goes on alone.
    a.renderRest(at, done, frames);
    b.renderRest(at, done, frames);
}

void Voice::renderInterpolatedPair(Voice& a, float* sa, Voice& b, float* sb, int frames) noexcept {
    LowPassFilter& fa = a.filter_;
    LowPassFilter& fb = b.filter_;
    const auto plain = [](double x) { return x; };
    if (fa.isOn() && fb.isOn()) {
        LowPassFilter::Kernel ka = fa.kernel(), kb = fb.kernel();
        SampleOscillator::renderInterpolatedPair(
            a.oscillator_, sa, [&ka](double x) { return ka(x); }, b.oscillator_, sb,
            [&kb](double x) { return kb(x); }, frames);
        fa.keep(ka);
        fb.keep(kb);
    } else if (fa.isOn()) {
        LowPassFilter::Kernel ka = fa.kernel();
        SampleOscillator::renderInterpolatedPair(
            a.oscillator_, sa, [&ka](double x) { return ka(x); }, b.oscillator_, sb, plain, frames);
        fa.keep(ka);
    } else if (fb.isOn()) {
        LowPassFilter::Kernel kb = fb.kernel();
        SampleOscillator::renderInterpolatedPair(
            a.oscillator_, sa, plain, b.oscillator_, sb, [&kb](double x) { return kb(x); }, frames);
        fb.keep(kb);
    } else {
        SampleOscillator::renderInterpolatedPair(a.oscillator_, sa, plain, b.oscillator_, sb, plain,
                                                 frames);
    }
}

void Voice::renderStereo(int frames) noexcept {
    if (partner_ == nullptr || partner_ == this) {
        render(frames);
        return;
    }
    Voice& partner = *partner_;
    MixBus& bus = services_.bus;
    int at = bus.mixPosition;
    if (at < 0 || at >= MixBus::kBlockFrames)
        return;
    frames = std::min(frames, MixBus::kBlockFrames - at);
    int done = 0;
    while (done < frames) {
        if (oscillator_.isStopped() || services_.abortRequested.load(std::memory_order_relaxed))
            break;
        oscillator_.updatePitchModulation();
        amplifier_.updateGain();
        partner.amplifier_.updateGain();
        partner.oscillator_.followMaster(oscillator_);
        float right[kBlock], left[kBlock];
        const int produced = renderOwnBlock(right, std::min(kBlock, frames - done));
        // A partner that has reached its own end plays silence for the rest of the block
        // (through its filter, which rings on).
        partner.renderOwnBlock(left, produced, produced);
        mixStereo(right, left, partner, produced, at);
        at += produced;
        done += produced;
        controlTick(true);
        partner.controlTick(false); // the partner's pitch comes from this voice
        if (volumeEnvelope_.isFinished()) {
            oscillator_.stop();
            partner.oscillator_.stop();
        }
    }
    bus.mixPosition = at;
    // The partner is only ever rendered by its master: when the master stops, for whatever
    // reason (its own sample may end first), so does the partner.
    if (oscillator_.isStopped()) {
        partner.oscillator_.stop();
        oscillator_.releaseData();
    }
    if (partner.oscillator_.isStopped())
        partner.oscillator_.releaseData();
}

} // namespace korvelt
