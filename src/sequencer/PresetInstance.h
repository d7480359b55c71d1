#pragma once

#include "bank/Csf2file.h"
#include "sequencer/ZoneInstance.h"

#include <array>
#include <memory>
#include <span>
#include <vector>

namespace korvelt {

struct SequencerContext;

// The zones of one instrument as a preset zone uses it, in reverse of the file order.
class InstrumentInstance {
public:
    // Builds the zones of instrument number `instrument` (none for a number past the list or
    // naming the terminal record), pairs stereo zones and hands the instrument's global zone
    // to every zone with a sample.
    InstrumentInstance(SequencerContext& ctx, int channel, std::size_t instrument);

    std::vector<ZoneInstance>& zones() noexcept { return zones_; }
    const std::vector<ZoneInstance>& zones() const noexcept { return zones_; }
    int soundingCount = 0;

private:
    std::vector<ZoneInstance> zones_;
};

// One zone of the preset that names an instrument, with the keys and velocities it takes:
// a note starts voices only in the preset zones whose ranges accept it, as SoundFont banks
// split the keyboard or the velocity among instruments at preset level.
struct PresetZoneInstance {
    std::unique_ptr<InstrumentInstance> instrument;
    int soundingCount = 0;
    int keyLow = 0, keyHigh = 127;
    int velocityLow = 0, velocityHigh = 127;

    bool accepts(int key, int velocity) const noexcept {
        return key >= keyLow && key <= keyHigh && velocity >= velocityLow &&
               velocity <= velocityHigh;
    }
};

// The preset a channel plays: a tree of its preset zones, their instruments' zones and the
// voices started from them. Built when the channel first needs it; destroyed (with every
// voice, without release) by a program change, a bank select or a new run.
class PresetInstance {
public:
    // Builds the preset `program` of `bank`; shows "Invalid MIDI preset" (when errors are
    // shown) and stays without zones when the bank has no such preset, or when its preset
    // zones would make more than kMaxZones instrument zones (only a damaged or hostile
    // bank comes near: real presets have a few hundred at most).
    static constexpr std::size_t kMaxZones = 65536;
    PresetInstance(SequencerContext& ctx, int channel, int bank, int program);

    // Hands a channel message to the zones concerned, after the channel has stored what it
    // sets in `state`.
    void dispatch(SequencerContext& ctx, const ChannelState& state, int command, int data1,
                  int data2);
    // Renders `frames` frames of every sounding voice from the mix bus's block offset on.
    void render(SequencerContext& ctx, int frames) noexcept;

    bool isSounding() const noexcept { return soundingCount_ != 0; }
    int soundingCount() const noexcept { return soundingCount_; }
    const std::vector<PresetZoneInstance>& zones() const noexcept { return zones_; }

private:
    static void setRanges(PresetZoneInstance& zone, std::span<const Generator> generators);
    // The instrument zones a build of these preset zones would make.
    static std::size_t zoneCount(const SequencerContext& ctx, IndexRange bags);
    void releaseClass(int exclusiveClass, const ZoneInstance* except);
    void recount() noexcept;

    int channel_;
    int soundingCount_ = 0;
    std::vector<PresetZoneInstance> zones_; // reverse of the file order
    // The transposition each key's last note on was played with, so that its note off
    // reaches the same voices even when the option changes in between.
    std::array<int, 256> noteTransposition_{};
};

} // namespace korvelt
