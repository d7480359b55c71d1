#pragma once

#include <cstdint>
#include <cstring>
#include <span>

namespace korvelt {

class Ctrack;

// One timed event of a MIDI track: a channel message, a system-exclusive message or a
// meta event. A small value kept in its track's event array (no allocation of its own);
// the data bytes of system-exclusive and meta events live in the track's byte pool and
// stay valid as long as the track does.
//
// Every accessor answers for every kind; an accessor that does not apply to the event's
// kind returns 0 (or no data bytes).
class Cmidiev {
public:
    // The values of kind().
    static constexpr int kChannel = 0;
    static constexpr int kSysex = 1;
    static constexpr int kMeta = 2;

    // Absolute time in ticks since the start of the track (the sum of all delta times up
    // to and including this event's own).
    std::int32_t tick() const noexcept { return tick_; }
    // kChannel, kSysex or kMeta.
    int kind() const noexcept {
        return status_ < 0xF0 ? kChannel : (status_ == 0xFF ? kMeta : kSysex);
    }

    // The status byte: for a channel event the one in effect (also when the event was
    // read under running status), 0xF0 or 0xF7 for system exclusive, 0xFF for a meta event.
    std::uint8_t status() const noexcept { return status_; }
    // Channel events: status >> 4 (8 to 14); otherwise 0.
    int command() const noexcept { return status_ < 0xF0 ? status_ >> 4 : 0; }
    // Channel events: status & 0x0F (0 to 15); otherwise 0.
    int channel() const noexcept { return status_ < 0xF0 ? status_ & 0x0F : 0; }
    // Channel events: the first data byte, as read (not masked); otherwise 0.
    int data1() const noexcept { return data1_; }
    // Channel events: the second data byte (0 for one-byte messages); otherwise 0.
    int data2() const noexcept { return data2_; }

    // Meta events: the type byte (0x51 set tempo, 0x2F end of track, ...); otherwise 0.
    int metaType() const noexcept { return metaType_; }
    // A set-tempo meta event (type 0x51) of exactly 3 data bytes: microseconds per quarter
    // note, data[0]*65536 + data[1]*256 + data[2]. Every other event: 0.
    std::int32_t tempo() const noexcept {
        if (status_ != 0xFF || metaType_ != 0x51 || length() != 3)
            return 0;
        return (std::int32_t{data_[0]} << 16) | (std::int32_t{data_[1]} << 8) | data_[2];
    }

    // System-exclusive and meta events: the number of data bytes and the bytes themselves
    // (for system exclusive without the leading 0xF0/0xF7 status). Channel events: none.
    std::uint32_t length() const noexcept {
        std::uint32_t n = 0;
        if (data_ != nullptr)
            std::memcpy(&n, data_ - sizeof n, sizeof n);
        return n;
    }
    std::span<const std::uint8_t> data() const noexcept { return {data_, length()}; }

private:
    friend class Ctrack;

    // The kind follows from the status byte: 0x80-0xEF channel, 0xF0/0xF7 system
    // exclusive, 0xFF meta. Fields that do not apply to the kind stay 0.
    std::int32_t tick_ = 0;
    std::uint8_t status_ = 0;
    std::uint8_t data1_ = 0;
    std::uint8_t data2_ = 0;
    std::uint8_t metaType_ = 0;
    // System-exclusive and meta events: the data bytes in the track's pool, where the
    // 32-bit length stands just before them (so an event takes 16 bytes). Null for
    // channel events.
    const std::uint8_t* data_ = nullptr;
};

// Typed views of an event, for code that has checked the kind. Each is valid only for an
// event of its kind and only as long as the event's track.

// A channel message (note off/on, key pressure, controller, program change, channel
// pressure, pitch bend).
class Cchanev {
public:
    explicit Cchanev(const Cmidiev& event) noexcept : event_(&event) {}
    std::int32_t tick() const noexcept { return event_->tick(); }
    std::uint8_t status() const noexcept { return event_->status(); }
    int command() const noexcept { return event_->command(); }
    int channel() const noexcept { return event_->channel(); }
    int data1() const noexcept { return event_->data1(); }
    int data2() const noexcept { return event_->data2(); }

private:
    const Cmidiev* event_;
};

// A system-exclusive message (status 0xF0, or 0xF7 for a continuation or escape).
class Csysexev {
public:
    explicit Csysexev(const Cmidiev& event) noexcept : event_(&event) {}
    std::int32_t tick() const noexcept { return event_->tick(); }
    std::uint8_t status() const noexcept { return event_->status(); }
    std::uint32_t length() const noexcept { return event_->length(); }
    std::span<const std::uint8_t> data() const noexcept { return event_->data(); }

private:
    const Cmidiev* event_;
};

// A meta event of any type (end of track, text, lyrics, set tempo, signatures, ...).
class Cmetaev {
public:
    explicit Cmetaev(const Cmidiev& event) noexcept : event_(&event) {}
    std::int32_t tick() const noexcept { return event_->tick(); }
    int metaType() const noexcept { return event_->metaType(); }
    std::int32_t tempo() const noexcept { return event_->tempo(); }
    std::uint32_t length() const noexcept { return event_->length(); }
    std::span<const std::uint8_t> data() const noexcept { return event_->data(); }

private:
    const Cmidiev* event_;
};

} // namespace korvelt
