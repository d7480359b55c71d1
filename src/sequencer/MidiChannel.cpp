#include "sequencer/MidiChannel.h"

#include "bank/Csf2file.h"
#include "effects/MixBus.h"
#include "sequencer/SequencerContext.h"

#include <algorithm>

namespace korvelt {
namespace {

int initialBank(int channel) {
    return channel == MidiChannel::kPercussionChannel ? 128 : 0;
}

} // namespace

MidiChannel::MidiChannel(int channel) noexcept : channel_(channel), bank_(initialBank(channel)) {}

void MidiChannel::reset() noexcept {
    preset_.reset();
    program_ = 0;
    bank_ = initialBank(channel_);
    state_ = ChannelState{};
    position_ = 0.0;
    cursor_ = 0;
}

void MidiChannel::applyBankFallback(const SequencerContext& ctx) {
    int b = bank_;
    for (;;) {
        const PresetSearch s = ctx.bank.searchPreset(static_cast<std::uint16_t>(b),
                                                     static_cast<std::uint16_t>(program_));
        if (s.found) {
            bank_ = b;
            return;
        }
        if (!s.lowerBank)
            return; // nothing lower: the bank stays as it was
        b = *s.lowerBank;
    }
}

void MidiChannel::applyPercussionFallback(const SequencerContext& ctx) {
    int p = program_;
    for (;;) {
        const PresetSearch s = ctx.bank.searchPreset(128, static_cast<std::uint16_t>(p));
        if (s.found) {
            program_ = p;
            return;
        }
        if (!s.lowerProgram)
            return;
        p = *s.lowerProgram;
    }
}

void MidiChannel::handle(SequencerContext& ctx, int command, int data1, int data2) {
    if (command == 12) {
        preset_.reset();
        program_ = data1;
        return;
    }
    if (command == 11 && data1 == 0) {
        preset_.reset();
        bank_ = data2;
        return;
    }
    if (!preset_) {
        if (channel_ == kPercussionChannel) {
            bank_ = 128;
            applyPercussionFallback(ctx);
        } else {
            applyBankFallback(ctx);
        }
        preset_ = std::make_unique<PresetInstance>(ctx, channel_, bank_, program_);
    }
    // The channel keeps what the message sets; the preset brings it to the voices. A bend
    // to where the wheel already is changes nothing.
    if (command == 11) {
        // Sostenuto takes the notes sounding at the moment it goes down: the pedal sent
        // down again while down takes nothing more.
        const bool sostenutoStaysDown = data1 == 66 && data2 >= 64 && state_.sostenutoDown;
        state_.control(data1, data2);
        if (sostenutoStaysDown)
            return;
    } else if (command == 14 && !state_.bend(data1 + data2 * 128 - 8192))
        return;
    preset_->dispatch(ctx, state_, command, data1, data2);
}

void MidiChannel::render(SequencerContext& ctx, int frames) {
    if (frames <= 0 || events_.empty())
        return;
    MixBus& bus = ctx.bus();
    const double last = events_.back().tick;
    int done = 0;
    while (done < frames && !ctx.aborted()) {
        if (position_ >= last || cursor_ >= events_.size()) {
            // After the last event: play what is left, then only the voices.
            while (cursor_ < events_.size() && !ctx.aborted())
                dispatch(ctx, events_[cursor_++]);
            if (isSounding() && !ctx.aborted())
                preset_->render(ctx, frames - done);
            return;
        }
        const EventRef& event = events_[cursor_];
        if (event.tick <= position_) {
            ++cursor_;
            dispatch(ctx, event);
            continue;
        }
        // Whole frames until the event; it is applied once less than a frame remains.
        const double distance = (event.tick - position_) * ctx.rates.framesPerTick;
        const int f = distance < double(frames - done) ? static_cast<int>(distance) : frames - done;
        if (f != 0) {
            if (isSounding())
                preset_->render(ctx, f);
            bus.blockOffset += f;
            done += f;
            position_ += f * ctx.rates.ticksPerFrame;
            continue;
        }
        ++cursor_;
        dispatch(ctx, event);
    }
}

} // namespace korvelt
