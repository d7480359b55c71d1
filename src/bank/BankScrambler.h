#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace korvelt {

// The key of the compressed bank format: the stored byte at absolute file position P is the
// plain byte XOR bankKeyTable[P mod 43]. Part of the file format: changing a byte makes
// every existing compressed bank unreadable.
inline constexpr std::size_t kBankKeyLength = 43;
inline constexpr std::array<std::uint8_t, kBankKeyLength> bankKeyTable = {
    0xA3, 0x0F, 0x74, 0xB0, 0xAB, 0xA0, 0x4E, 0x72, 0xC2, 0x7C, 0x8D, 0x87, 0x0E, 0xBF, 0xA0,
    0xAE, 0xBA, 0x3C, 0xF6, 0x28, 0xFD, 0xC4, 0xE4, 0x62, 0xA6, 0xF7, 0x86, 0x06, 0x88, 0x9D,
    0xE9, 0x67, 0xDC, 0xDC, 0x18, 0xF5, 0x28, 0x75, 0x6B, 0x32, 0xF8, 0xDD, 0xE1};

// Undoes (and, being an XOR, also applies) the scrambling of a compressed bank. The key
// position follows the file position of the bytes passed through it: every scrambled byte
// must go through unscramble() exactly once and in file order, and whoever jumps in the
// file sets the position anew. Each reader owns its own scrambler.
class BankScrambler {
public:
    // Position := p mod 43 (callers pass an absolute file position or its remainder).
    void setKeyPosition(std::uint64_t p) noexcept {
        position_ = static_cast<unsigned>(p % kBankKeyLength);
    }
    // Position := (position + n) mod 43, after skipping n bytes that were not read.
    void advanceKeyPosition(std::uint64_t n) noexcept {
        position_ = static_cast<unsigned>((position_ + n % kBankKeyLength) % kBankKeyLength);
    }
    unsigned keyPosition() const noexcept { return position_; }

    // XORs each byte with the key at the current position, advancing it by one per byte.
    void unscramble(void* bytes, std::size_t n) noexcept;
    // The same operation, named for writers.
    void scramble(void* bytes, std::size_t n) noexcept { unscramble(bytes, n); }

private:
    unsigned position_ = 0;
};

} // namespace korvelt
