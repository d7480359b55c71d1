#pragma once

#include "bank/BankRecords.h"
#include "voice/Amplifier.h"
#include "voice/Lfo.h"
#include "voice/LowPassFilter.h"
#include "voice/ModulationEnvelope.h"
#include "voice/SampleOscillator.h"
#include "voice/VoiceServices.h"
#include "voice/VolumeEnvelope.h"

#include <cstdint>
#include <span>

namespace korvelt {

// One sounding note of one zone: an oscillator, two envelopes, two LFOs, a filter and an
// amplifier, rendered in blocks of 20 frames with one control tick per block and added
// into the mix bus with pan and effect sends. A voice receives its zone's generators once
// and is then reused for later notes of the same zone.
//
// The units refer to each other, so a voice is neither copied nor moved.
class Voice {
public:
    enum class HoldState : std::int32_t {
        Free = 0,
        SustainHeld = 1,
        SostenutoHeld = 2,
        SustainReleasePending = 3,
        SostenutoReleasePending = 4,
    };

    Voice(SampleHeader& sample, const VoiceServices& services) noexcept;
    Voice(const Voice&) = delete;
    Voice& operator=(const Voice&) = delete;

    // Set-up, once per voice object: the instrument's global zone and its own zone
    // (absolute), the preset's global zone and its own zone (additive), then prepare().
    void applyGenerators(std::span<const Generator> generators, bool additive);
    void prepare() noexcept;

    // Per note. channelPan >= 2000 means the channel has set no pan.
    void start(int key, int velocity, float channelAttenuation, int bendCents, int channelReverb,
               int channelChorus, int channelPan, bool keyTracking, bool softPedal);
    // Adds up to `frames` frames into the bus from bus.mixPosition on, advancing it.
    void render(int frames) noexcept;
    // Two voices without partners over the same frames of the bus, from bus.mixPosition
    // on: each gets exactly what its render() gives, and every frame of the bus receives
    // a's sound before b's, as when a renders before b. Rendered block by block in
    // lockstep, which lets the two voices' per-frame work overlap.
    static void renderPair(Voice& a, Voice& b, int frames) noexcept;
    // The same for the master of a stereo pair (this voice plays the right-hand sample,
    // partner() the left-hand one in lockstep). Without a partner it is render().
    void renderStereo(int frames) noexcept;
    bool isSounding() const noexcept { return !oscillator_.isStopped(); }

    void noteOff(int releaseVelocity) noexcept;
    // Release whatever the hold state.
    void releaseNow() noexcept { release(); }
    void sustainPedal(bool down) noexcept;
    // Sostenuto down: a note whose key is still down is held by the pedal.
    void sostenutoOn() noexcept;
    // Sostenuto up: a held note goes back to the sustain pedal while that is down, else it
    // is free again, and released if its key has come up meanwhile.
    void sostenutoOff(bool sustainDown) noexcept;
    void setPan(int channelPan) noexcept;
    void setReverbSend(int channelReverb) noexcept;
    void setChorusSend(int channelChorus) noexcept;
    void setPitchBend(int cents) noexcept { oscillator_.setPitchBend(cents); }
    void setVibratoDepth(int value) noexcept { oscillator_.setVibratoDepth(value); }
    void setChannelAttenuation(float centibels) noexcept {
        amplifier_.setChannelAttenuation(centibels);
    }

    // The key of the current note as played, before any key override.
    int key() const noexcept { return key_; }
    Voice* partner() const noexcept { return partner_; }
    void setPartner(Voice* partner) noexcept { partner_ = partner; }

    HoldState holdState() const noexcept { return holdState_; }
    float leftGain() const noexcept { return leftGain_; }
    float rightGain() const noexcept { return rightGain_; }
    float reverbLevel() const noexcept { return reverbLevel_; }
    float chorusLevel() const noexcept { return chorusLevel_; }
    std::int32_t pan() const noexcept { return pan_; }
    std::int32_t reverbSend() const noexcept { return reverbSend_; }
    std::int32_t chorusSend() const noexcept { return chorusSend_; }
    std::int32_t keyOverride() const noexcept { return keyOverride_; }
    std::int32_t velocityOverride() const noexcept { return velocityOverride_; }

    const SampleOscillator& oscillator() const noexcept { return oscillator_; }
    const ModulationEnvelope& modulationEnvelope() const noexcept { return modulationEnvelope_; }
    const VolumeEnvelope& volumeEnvelope() const noexcept { return volumeEnvelope_; }
    const Lfo& vibratoLfo() const noexcept { return vibratoLfo_; }
    const Lfo& modulationLfo() const noexcept { return modulationLfo_; }
    const LowPassFilter& filter() const noexcept { return filter_; }
    const Amplifier& amplifier() const noexcept { return amplifier_; }

private:
    void release() noexcept;
    void updatePanGains() noexcept;
    float sendLevel(float amount, std::int32_t send, int channelSend) const noexcept;
    void controlTick(bool tickVibrato) noexcept;
    static void renderInterpolatedPair(Voice& a, float* sa, Voice& b, float* sb,
                                       int frames) noexcept;
    // One control block of render(): `frames` (at most 20) frames mixed at `at`; returns
    // the frames produced.
    int renderBlock(int frames, int at) noexcept;
    // The end of a control block: the tick, and the stop when the volume envelope is done.
    void endBlock() noexcept;
    // render() from `at` for `frames` frames, `done` of them already rendered.
    void renderRest(int at, int done, int frames) noexcept;
    bool blockCanStart() const noexcept {
        return !oscillator_.isStopped() &&
               !services_.abortRequested.load(std::memory_order_relaxed);
    }
    // The oscillator's next frames through the filter (when on), as floats; frames from
    // the one after the oscillator stops up to `fill` are its silence through the filter.
    int renderOwnBlock(float* out, int frames, int fill = 0) noexcept;
    void mixMono(const float* samples, int frames, int at) noexcept;
    void mixStereo(const float* right, const float* left, const Voice& partner, int frames,
                   int at) noexcept;

    // Per-frame units first.
    SampleOscillator oscillator_;
    LowPassFilter filter_;
    Amplifier amplifier_;
    float leftGain_ = 0.5f;
    float rightGain_ = 0.5f;
    float reverbLevel_ = 0.0f;
    float chorusLevel_ = 0.0f;
    Voice* partner_ = nullptr;
    VoiceServices services_;
    ModulationEnvelope modulationEnvelope_;
    VolumeEnvelope volumeEnvelope_;
    Lfo vibratoLfo_;
    Lfo modulationLfo_;
    std::int32_t key_ = 0;
    std::int32_t keyOverride_ = -1;
    std::int32_t velocityOverride_ = -1;
    std::int32_t reverbSend_ = 0; // 0.1 % units
    std::int32_t chorusSend_ = 0;
    std::int32_t pan_ = 0; // 0.1 % units, -500 left ... +500 right
    HoldState holdState_ = HoldState::Free;
    bool keyDown_ = false; // from start until its note off or release
};

} // namespace korvelt
