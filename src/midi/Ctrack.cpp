#include "midi/Ctrack.h"

#include "midi/MidiInput.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"

#include <cstring>
#include <limits>
#include <new>

namespace korvelt {

static_assert(sizeof(Cmidiev) <= 16, "an event stays a small value");

namespace {

// Data bytes of the system common messages 0xF1 to 0xF6, by the low nibble.
constexpr std::uint8_t kCommonDataBytes[16] = {0, 1, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// A variable-length number of at most 4 bytes, 7 bits each, most significant first,
// read within [p, end). False when the number does not end within 4 bytes or within the
// bytes at hand.
inline bool readVnum(const std::uint8_t*& p, const std::uint8_t* end,
                     std::uint32_t& value) noexcept {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        if (p == end)
            return false;
        const std::uint8_t b = *p++;
        v = (v << 7) | (b & 0x7Fu);
        if ((b & 0x80u) == 0) {
            value = v;
            return true;
        }
    }
    return false;
}

// Channel messages take two data bytes except program change (0xC) and channel
// pressure (0xD), which take one.
inline bool takesTwoDataBytes(std::uint8_t status) noexcept {
    return (status & 0xE0) != 0xC0;
}

} // namespace

bool Ctrack::rdmidi(midi_input::Input& in, std::vector<std::uint8_t>& scratch, Notifier& notifier) {
    // Chunks of other types (a vendor's "XFIH", "XFKM") are skipped by their length; the
    // file ending before the next "MTrk", or inside a chunk, is a missing track.
    std::uint8_t head[8];
    for (;;) {
        if (!in.readExact(head, sizeof head)) {
            notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiBadData);
            return false;
        }
        if (std::memcmp(head, "MTrk", 4) == 0)
            break;
        if (!in.skip(midi_input::bigEndian32(head + 4))) {
            notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiBadData);
            return false;
        }
    }
    const std::uint32_t length = midi_input::bigEndian32(head + 4);
    in.readUpTo(length, scratch);

    Fault fault;
    try {
        fault = parse(scratch.data(), scratch.size(), length);
    } catch (const std::bad_alloc&) {
        settleData(); // the events read so far stay usable
        throw;
    }
    settleData();
    switch (fault) {
    case Fault::None:
        return true;
    case Fault::BadData:
        notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiBadData);
        break;
    case Fault::Vnum:
        notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiBadVnum);
        break;
    case Fault::RunningStatus:
        notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiNoRunningStatus);
        break;
    case Fault::Sysex:
        notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiBadSysex);
        break;
    case Fault::Meta:
        notifier.show(Severity::Error, msg::kErrorTitle, msg::kMidiBadMeta);
        break;
    }
    return false;
}

// The chunk ends where its length says. An event never reads past that end (nor past the
// end of the file): a delta time or length that cannot be read there is a Vnum fault,
// system-exclusive or meta data running past it a sysex or meta fault, and any other byte
// of an event that is missing (status, data, meta type) bad data. A truncated chunk thus
// fails at the first event it cuts, with the message of what was being read.
Ctrack::Fault Ctrack::parse(const std::uint8_t* bytes, std::size_t available,
                            std::uint32_t length) {
    const std::uint8_t* p = bytes;
    const std::uint8_t* const end = bytes + available;
    const bool complete = available == length;

    // Most events take 3 or 4 bytes; reserving for 3 makes growing the array rare.
    events_.reserve(events_.size() + available / 3 + 1);

    constexpr std::uint32_t kMaxTick = std::numeric_limits<std::int32_t>::max();
    std::uint32_t tick = 0;
    std::uint8_t running = 0; // 0: no running status
    for (;;) {
        if (p == end) {
            if (complete)
                break;
            return Fault::Vnum; // the file ends inside the chunk, before the next delta time
        }
        std::uint32_t delta;
        if (!readVnum(p, end, delta))
            return Fault::Vnum;
        // Ticks are signed 32-bit; a track whose time runs beyond that is not music.
        if (delta > kMaxTick - tick)
            return Fault::BadData;
        tick += delta;
        if (p == end)
            return Fault::BadData;

        const std::uint8_t b = *p++;
        if (b < 0xF0) {
            std::uint8_t status;
            std::uint8_t data1;
            if (b < 0x80) {
                if (running == 0)
                    return Fault::RunningStatus;
                status = running;
                data1 = b;
            } else {
                status = running = b;
                if (p == end)
                    return Fault::BadData;
                data1 = *p++;
            }
            std::uint8_t data2 = 0;
            if (takesTwoDataBytes(status)) {
                if (p == end)
                    return Fault::BadData;
                data2 = *p++;
            }
            Cmidiev& e = events_.emplace_back();
            e.tick_ = static_cast<std::int32_t>(tick);
            e.status_ = status;
            e.data1_ = data1;
            e.data2_ = data2;
            continue;
        }

        if (b == 0xF0 || b == 0xF7 || b == 0xFF) {
            std::uint8_t type = 0;
            if (b == 0xFF) {
                if (p == end)
                    return Fault::BadData;
                type = *p++;
            } else {
                running = 0;
            }
            std::uint32_t len;
            if (!readVnum(p, end, len))
                return Fault::Vnum;
            if (len > static_cast<std::size_t>(end - p))
                return b == 0xFF ? Fault::Meta : Fault::Sysex;
            Cmidiev& e = events_.emplace_back();
            e.tick_ = static_cast<std::int32_t>(tick);
            e.status_ = b;
            e.metaType_ = type;
            // Its pool record: the event's index and the length, then the data bytes. The
            // event comes first: should the pool fail to grow, it simply has no data.
            const std::uint32_t head[2] = {static_cast<std::uint32_t>(events_.size() - 1), len};
            const std::size_t at = pool_.size();
            pool_.resize(at + sizeof head + len);
            std::memcpy(pool_.data() + at, head, sizeof head);
            if (len != 0)
                std::memcpy(pool_.data() + at + sizeof head, p, len);
            p += len;
            continue;
        }

        if (b <= 0xF6) {
            // System common: its data bytes are skipped; it cancels the running status.
            running = 0;
            const std::uint8_t n = kCommonDataBytes[b & 0x0F];
            if (static_cast<std::size_t>(end - p) < n)
                return Fault::BadData;
            p += n;
        }
        // System real-time (0xF8-0xFE): the status byte alone, skipped; running status stays.
    }
    return Fault::None;
}

void Ctrack::settleData() noexcept {
    // Every system-exclusive and meta event has its record in the pool, in file order.
    const std::uint8_t* record = pool_.data();
    const std::uint8_t* const end = record + pool_.size();
    while (record != end) {
        std::uint32_t head[2];
        std::memcpy(head, record, sizeof head);
        events_[head[0]].data_ = record + sizeof head;
        record += sizeof head + head[1];
    }
    // Give back a generous reservation (a track of long system-exclusive messages holds few
    // events). Only a request: without memory for the smaller copy the array stays as it is.
    if (events_.capacity() > 2 * events_.size() + 64) {
        try {
            events_.shrink_to_fit();
        } catch (...) {
        }
    }
}

} // namespace korvelt
