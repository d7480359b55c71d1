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

// Reads and throws away n bytes; false when the file ends (or fails) first.
bool skip(int fd, std::uint64_t n) noexcept;

// Reads up to n bytes into `out`, which ends up holding exactly the bytes that arrived
// (fewer than n when the file ends first or a read fails). The buffer grows only as far
// as the file has bytes left, so a bogus length costs nothing.
void readUpTo(int fd, std::uint32_t n, std::vector<std::uint8_t>& out);

// The number of bytes left in the file from the current position, or -1 when the
// descriptor cannot tell (a pipe).
std::int64_t bytesLeft(int fd) noexcept;

} // namespace korvelt::midi_input
