#include "sequencer/ZoneInstance.h"

#include "effects/MixBus.h"
#include "engine/RenderOptions.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "sequencer/SequencerContext.h"
#include "voice/Voice.h"

#include <string>

namespace korvelt {
namespace {

constexpr int kPercussionChannel = 9;

// The channel attenuation in centibels, with the mixer's volume for the channel.
float channelAttenuation(const SequencerContext& ctx, const ChannelState& state, int channel) {
    return state.attenuation(ctx.options.mixer[static_cast<std::size_t>(channel)].volumeCb.get());
}

} // namespace

int ZoneInstance::handle(SequencerContext& ctx, const ChannelState& state, int command, int key,
                         int data2) {
    switch (command) {
    case 8:
        if (key >= keyLow_ && key <= keyHigh_)
            noteOff(key);
        return 0;
    case 9:
        if (data2 == 0) {
            if (key >= keyLow_ && key <= keyHigh_)
                noteOff(key);
            return 0;
        }
        // Only keys of the MIDI range can sound (a bank's key range may claim more).
        if (key < 0 || key > 127 || key < keyLow_ || key > keyHigh_ || data2 < velocityLow_ ||
            data2 > velocityHigh_ || sample_ == nullptr)
            return 0;
        // The right side of a stereo pair starts, re-strikes and cuts both sides, so the
        // pair behaves as one zone whichever side comes first; the left side does nothing
        // of its own (otherwise it would cut the voice its master has just started).
        if (isLeftSide())
            return 0;
        {
            const int reported = exclusiveClass_;
            noteOn(ctx, state, key, data2);
            return reported;
        }
    case 10:
        for (Voice* v : active_)
            if (v->key() == key)
                v->setVibratoDepth(data2);
        return 0;
    case 11:
        controlChange(ctx, state, key, data2);
        return 0;
    case 13:
        for (Voice* v : active_)
            v->setVibratoDepth(key);
        return 0;
    case 14: // the channel hands on only a bend that moved
        for (Voice* v : active_)
            v->setPitchBend(state.pitchOffset());
        return 0;
    default:
        return 0;
    }
}

void ZoneInstance::noteOff(int key) {
    // The most recently started voice of the key.
    for (auto it = active_.rbegin(); it != active_.rend(); ++it)
        if ((*it)->key() == key) {
            (*it)->noteOff(0);
            return;
        }
}

void ZoneInstance::releaseAll() {
    for (Voice* v : active_)
        v->releaseNow();
}

void ZoneInstance::cutBeforeNote(int key, bool exclusive) {
    if (exclusive)
        releaseAll();
    // A key struck again on the zone ends its previous voice.
    for (auto it = active_.rbegin(); it != active_.rend(); ++it)
        if ((*it)->key() == key) {
            (*it)->releaseNow();
            break;
        }
}

void ZoneInstance::noteOn(SequencerContext& ctx, const ChannelState& state, int key, int velocity) {
    cutBeforeNote(key, exclusiveClass_ != 0);
    if (partner_ != nullptr)
        partner_->cutBeforeNote(key, exclusiveClass_ != 0);
    const float attenuationCb = channelAttenuation(ctx, state, channel_);
    const bool keyTracking = channel_ != kPercussionChannel;
    auto start = [&](Voice& voice) {
        voice.start(key, velocity, attenuationCb, state.pitchOffset(), state.reverbSend,
                    state.chorusSend, state.pan, keyTracking, state.softPedalDown);
        // A note struck under the sustain pedal is held by it like one sounding when the
        // pedal went down. Sostenuto holds only the notes sounding when it went down.
        if (state.sustainDown)
            voice.sustainPedal(true);
    };
    Voice& voice = takeVoice(ctx);
    start(voice);
    if (partner_ != nullptr) {
        Voice& other = partner_->takeVoice(ctx);
        start(other);
        other.setPartner(nullptr);
        voice.setPartner(&other);
    } else {
        voice.setPartner(nullptr);
    }
}

Voice& ZoneInstance::takeVoice(SequencerContext& ctx) {
    Voice* voice;
    if (!free_.empty()) {
        voice = free_.back();
        free_.pop_back();
    } else {
        pool_.push_back(std::make_unique<Voice>(*sample_, ctx.voices));
        voice = pool_.back().get();
        if (hasInstrumentGlobal_)
            voice->applyGenerators(instrumentGlobal_, false);
        voice->applyGenerators(zoneGenerators_, false);
        if (hasPresetGlobal_)
            voice->applyGenerators(presetGlobal_, true);
        if (hasPresetZone_)
            voice->applyGenerators(presetZone_, true);
        voice->prepare();
        // Room for every voice object in both lists, so rendering never allocates.
        active_.reserve(pool_.size());
        free_.reserve(pool_.size());
    }
    active_.push_back(voice);
    return *voice;
}

void ZoneInstance::controlChange(SequencerContext& ctx, const ChannelState& state, int controller,
                                 int value) {
    switch (controller) {
    case 0:
    case 6:
    case 9:
    case 32:
    case 38:
    case 67:
    case 94:
    case 98:
    case 99:
    case 100:
    case 101:
        break; // stored by the channel, or ignored
    case 1:
        for (Voice* v : active_)
            v->setVibratoDepth(value);
        break;
    case 7:
    case 11: {
        const float cB = channelAttenuation(ctx, state, channel_);
        for (Voice* v : active_)
            v->setChannelAttenuation(cB);
        break;
    }
    case 10:
        for (Voice* v : active_)
            v->setPan(state.pan);
        break;
    case 64:
        for (Voice* v : active_)
            v->sustainPedal(state.sustainDown);
        break;
    case 66:
        for (Voice* v : active_) {
            if (state.sostenutoDown)
                v->sostenutoOn();
            else
                v->sostenutoOff(state.sustainDown);
        }
        break;
    case 91:
        for (Voice* v : active_)
            v->setReverbSend(state.reverbSend);
        break;
    case 93:
        for (Voice* v : active_)
            v->setChorusSend(state.chorusSend);
        break;
    case 120: // all sound off: the active voices go at once, without release
        for (Voice* v : active_)
            for (auto it = pool_.begin(); it != pool_.end(); ++it)
                if (it->get() == v) {
                    pool_.erase(it);
                    break;
                }
        active_.clear();
        break;
    case 121: // the channel has reset its state; sounding notes keep pitch and level
        for (Voice* v : active_) {
            v->setVibratoDepth(0);
            v->sustainPedal(false);
        }
        break;
    case 123:
        releaseAll();
        break;
    default:
        if (ctx.options.showMidiErrors)
            ctx.notifier.show(Severity::Warning, msg::kInvalidControllerTitle,
                              msg::invalidControllerText(controller, value));
        break;
    }
}

bool ZoneInstance::heldByPartnerMaster(const Voice* voice) const noexcept {
    if (pairedRight_ == nullptr)
        return false;
    for (const Voice* master : pairedRight_->active_)
        if (master->partner() == voice && master->isSounding())
            return true;
    return false;
}

void ZoneInstance::render(SequencerContext& ctx, int frames, VoicePairs& pairs) noexcept {
    MixBus& bus = ctx.bus();
    for (std::size_t i = active_.size(); i-- > 0;) {
        Voice* voice = active_[i];
        if (!voice->isSounding()) {
            // A left-side voice stays with its pair while the master still plays, so it
            // cannot be started again for another note under the master's feet.
            if (isLeftSide() && heldByPartnerMaster(voice))
                continue;
            active_.erase(active_.begin() + static_cast<std::ptrdiff_t>(i));
            free_.push_back(voice);
            continue;
        }
        if (isLeftSide())
            continue; // rendered by its master
        if (partner_ != nullptr) {
            // The master stops its partner when it ends, which the left side's walk must
            // see in order: so what waits renders first, and the pair at once.
            pairs.flush();
            bus.mixPosition = bus.blockOffset;
            voice->renderStereo(frames);
        } else {
            pairs.add(*voice);
        }
    }
}

} // namespace korvelt
