#pragma once

#include "sequencer/ChannelState.h"
#include "sequencer/EventRef.h"
#include "sequencer/PresetInstance.h"

#include <memory>
#include <vector>

namespace korvelt {

struct SequencerContext;

// One of the sixteen MIDI channels of a performance: its events in tick order, its bank
// and program, what its controllers have set, and the preset it plays. Its per-channel
// scheduler plays its events at their exact frames while it renders its voices.
class MidiChannel {
public:
    static constexpr int kPercussionChannel = 9;

    explicit MidiChannel(int channel) noexcept;

    int channel() const noexcept { return channel_; }
    int bank() const noexcept { return bank_; }
    int program() const noexcept { return program_; }
    double position() const noexcept { return position_; }
    std::vector<EventRef>& events() noexcept { return events_; }
    const std::vector<EventRef>& events() const noexcept { return events_; }
    const PresetInstance* preset() const noexcept { return preset_.get(); }
    // Kept through program changes and bank selects.
    const ChannelState& state() const noexcept { return state_; }

    // Back to the start of the performance for a new run: no preset (no voice survives),
    // program 0, the initial bank, the controllers' initial values, position 0, the first
    // event next.
    void reset() noexcept;
    // Drops the preset and every voice at once.
    void dropPreset() noexcept { preset_.reset(); }

    // Plays `frames` frames from the mix bus's block offset on: the events that fall due in
    // them, and the voices between events.
    void render(SequencerContext& ctx, int frames);
    // Handles one channel message (command nibble 8 ... 14).
    void handle(SequencerContext& ctx, int command, int data1, int data2);

    bool isSounding() const noexcept { return preset_ && preset_->isSounding(); }
    // Renders the voices only.
    void renderVoices(SequencerContext& ctx, int frames) noexcept {
        if (preset_)
            preset_->render(ctx, frames);
    }

private:
    void dispatch(SequencerContext& ctx, const EventRef& event) {
        handle(ctx, event.command, event.data1, event.data2);
    }
    void applyBankFallback(const SequencerContext& ctx);
    void applyPercussionFallback(const SequencerContext& ctx);

    int channel_;
    int bank_;
    int program_ = 0;
    double position_ = 0.0;
    std::size_t cursor_ = 0;
    std::vector<EventRef> events_;
    ChannelState state_;
    std::unique_ptr<PresetInstance> preset_;
};

} // namespace korvelt
