#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reading the big-endian numbers and chunks of a MIDI file from a descriptor. Every read
// is bounded by what the file actually holds: a length field larger than the file never
// makes the reader allocate more than the file's size.
namespace korvelt::midi_input {

inline std::uint32_t bigEndian32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

inline std::uint16_t bigEndian16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

inline std::uint32_t littleEndian32(const std::uint8_t* p) noexcept {
    return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
           std::uint32_t{p[0]};
}

// The bytes a MIDI file is read from: the descriptor from its current position on, at most
// `limit` bytes of it (the "data" chunk of a RIFF MIDI file; no limit for a plain file).
// Reads move the descriptor's position; the bytes beyond the limit are never read.
class Input {
public:
    static constexpr std::uint64_t kNoLimit = UINT64_MAX;

    explicit Input(int fd, std::uint64_t limit = kNoLimit) noexcept : fd_(fd), left_(limit) {}

    // Reads exactly n bytes; false when the limit or the file ends first (errno 0) or a read
    // fails (errno the system's reason).
    bool readExact(void* buffer, std::size_t n) noexcept;
    // Reads and throws away n bytes; false when the limit or the file ends first.
    bool skip(std::uint64_t n) noexcept;
    // Reads up to n bytes into `out`, which ends up holding exactly the bytes that arrived
    // (fewer than n when the limit or the file ends first, or a read fails). The buffer
    // grows only as far as there are bytes left, so a bogus length costs nothing.
    void readUpTo(std::uint32_t n, std::vector<std::uint8_t>& out);
    // The bytes left before the limit or the end of the file, or -1 when that is not known
    // (a pipe without a limit).
    std::int64_t bytesLeft() const noexcept;

private:
    int fd_;
    std::uint64_t left_; // bytes that may still be read
};

} // namespace korvelt::midi_input
