#pragma once

#include "bank/BankRecords.h"
#include "effects/MixBus.h"
#include "sequencer/ChannelState.h"
#include "voice/Voice.h"

#include <memory>
#include <span>
#include <vector>

namespace korvelt {

struct SequencerContext;

// Voices of one render call (all starting at the same frame of the bus, for the same
// number of frames) rendered two at a time, in the order they come: the bus receives
// exactly what rendering them one after the other gives.
class VoicePairs {
public:
    VoicePairs(MixBus& bus, int frames) noexcept : bus_(bus), frames_(frames) {}
    ~VoicePairs() { flush(); }
    VoicePairs(const VoicePairs&) = delete;
    VoicePairs& operator=(const VoicePairs&) = delete;

    void add(Voice& voice) noexcept {
        if (pending_ == nullptr) {
            pending_ = &voice;
            return;
        }
        bus_.mixPosition = bus_.blockOffset;
        Voice::renderPair(*pending_, voice, frames_);
        pending_ = nullptr;
    }
    // Renders a voice still waiting for its pair.
    void flush() noexcept {
        if (pending_ != nullptr) {
            bus_.mixPosition = bus_.blockOffset;
            pending_->render(frames_);
            pending_ = nullptr;
        }
    }

private:
    MixBus& bus_;
    int frames_;
    Voice* pending_ = nullptr;
};

// One instrument zone of a channel's current preset: its key and velocity ranges, its
// sample, the generator ranges its voices are built from, and the voices started from it.
// The controller state is the channel's: voices start with it, and messages bring its
// changes to the voices.
class ZoneInstance {
public:
    explicit ZoneInstance(int channel) noexcept : channel_(channel) {}

    // Handles one channel message, after the channel has stored what it sets in `state`;
    // returns the exclusive class of a note on that started a voice in a zone with a class
    // (0 otherwise). `key` is the (transposed) key of note on and note off messages, data 1
    // for the others.
    int handle(SequencerContext& ctx, const ChannelState& state, int command, int key, int data2);
    // Releases every active voice at once (exclusive class of another zone).
    void releaseAll();
    // Recycles ended voices and renders the others for `frames` frames. Voices without a
    // partner may be handed to `pairs` to render two at a time; a stereo pair renders at
    // once, after what `pairs` holds.
    void render(SequencerContext& ctx, int frames, VoicePairs& pairs) noexcept;

    int soundingCount() const noexcept { return static_cast<int>(active_.size()); }
    bool hasSample() const noexcept { return sample_ != nullptr; }
    bool isLeftSide() const noexcept { return partner_ == this; }

    // Set up by the instrument builder.
    SampleHeader* sample_ = nullptr;
    int sampleIndex_ = -1;
    int keyLow_ = 0, keyHigh_ = 127;
    int velocityLow_ = 0, velocityHigh_ = 127;
    int exclusiveClass_ = 0;
    std::span<const Generator> zoneGenerators_;
    std::span<const Generator> instrumentGlobal_;
    std::span<const Generator> presetGlobal_;
    std::span<const Generator> presetZone_;
    bool hasInstrumentGlobal_ = false;
    bool hasPresetGlobal_ = false;
    bool hasPresetZone_ = false;
    // The other side of a stereo pair: the left side points to itself, the right side to
    // the left side's zone. pairedRight_ is the right side, kept by the left side.
    ZoneInstance* partner_ = nullptr;
    ZoneInstance* pairedRight_ = nullptr;

    // The newest voice is at the back: the list is walked from the back, newest first.
    const std::vector<Voice*>& activeVoices() const noexcept { return active_; }
    std::size_t voiceObjects() const noexcept { return pool_.size(); }

private:
    void noteOn(SequencerContext& ctx, const ChannelState& state, int key, int velocity);
    // Before a note on `key`: the zone's voices cut by an exclusive class, and the voice of
    // the same key struck again.
    void cutBeforeNote(int key, bool exclusive);
    void noteOff(int key);
    void controlChange(SequencerContext& ctx, const ChannelState& state, int controller, int value);
    Voice& takeVoice(SequencerContext& ctx);
    bool heldByPartnerMaster(const Voice* voice) const noexcept;

    int channel_;
    std::vector<std::unique_ptr<Voice>> pool_; // every voice object of the zone
    std::vector<Voice*> active_;               // newest at the back
    std::vector<Voice*> free_;                 // next to reuse at the back
};

} // namespace korvelt
