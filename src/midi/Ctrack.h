#pragma once

#include "midi/Cmidiev.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvelt {

class Notifier;
namespace midi_input {
class Input;
}

// One track of a MIDI file: its events in file order, with the data bytes of its
// system-exclusive and meta events in one pool. Movable, not copyable (the events point
// into the pool, which a move keeps in place).
class Ctrack {
public:
    Ctrack() = default;
    Ctrack(Ctrack&&) noexcept = default;
    Ctrack& operator=(Ctrack&&) noexcept = default;
    Ctrack(const Ctrack&) = delete;
    Ctrack& operator=(const Ctrack&) = delete;

    // The events in file order; ticks never decrease.
    const std::vector<Cmidiev>& events() const noexcept { return events_; }
    std::size_t size() const noexcept { return events_.size(); }
    bool empty() const noexcept { return events_.empty(); }
    const Cmidiev& operator[](std::size_t i) const noexcept { return events_[i]; }
    std::vector<Cmidiev>::const_iterator begin() const noexcept { return events_.begin(); }
    std::vector<Cmidiev>::const_iterator end() const noexcept { return events_.end(); }

    // Reads the next track chunk ("MTrk", a 32-bit length, the events) from the input,
    // skipping chunks of any other type before it by their length. `scratch` is a buffer
    // the caller reuses from track to track. On a failure shows its message through
    // `notifier` and returns false; the events read before the failure stay in the track.
    bool rdmidi(midi_input::Input& in, std::vector<std::uint8_t>& scratch, Notifier& notifier);

private:
    // What went wrong while reading a chunk; each has its own message.
    enum class Fault : std::uint8_t { None, BadData, Vnum, RunningStatus, Sysex, Meta };

    // Parses the chunk's events from `bytes`: `available` bytes of the chunk's `length`
    // were present in the file.
    Fault parse(const std::uint8_t* bytes, std::size_t available, std::uint32_t length);
    // Points every system-exclusive and meta event at its data in the final pool, and
    // gives back an oversized reservation of the event array.
    void settleData() noexcept;

    std::vector<Cmidiev> events_;
    std::vector<std::uint8_t> pool_;
};

} // namespace korvelt
