#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// Little-endian fields of the bank formats, read from and written to byte buffers.
namespace korvelt::le {

inline std::uint16_t u16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t u32(const std::uint8_t* p) noexcept {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t u64(const std::uint8_t* p) noexcept {
    return std::uint64_t(u32(p)) | (std::uint64_t(u32(p + 4)) << 32);
}

inline void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}
inline void putBytes(std::vector<std::uint8_t>& out, const void* bytes, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    out.insert(out.end(), p, p + n);
}

inline bool tagIs(const std::uint8_t* p, const char (&tag)[5]) noexcept {
    return std::memcmp(p, tag, 4) == 0;
}

} // namespace korvelt::le
