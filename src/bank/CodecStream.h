#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Samples stored as codec streams (SoundFont 3 banks): a sample whose type carries the
// compressed bit holds, between its start and end byte offsets in "smpl", a stream of its
// own. Today's banks use Ogg Vorbis, the one codec read here (through libvorbisfile);
// streams of other codecs are recognised only to be refused by name.
namespace korvelt::codec {

enum class Codec { Vorbis, Opus, Flac, Unknown };

// The codec of a stream, from its first bytes: an Ogg page whose first packet is a Vorbis,
// Opus or FLAC identification header, or a native FLAC stream ("fLaC").
Codec identify(std::span<const std::uint8_t> stream) noexcept;
// "Ogg Vorbis", "Opus", "FLAC", "unknown".
const char* codecName(Codec codec) noexcept;

// The most frames one byte of stream may stand for. A Vorbis packet of one byte yields at
// most half of the largest block (8192 frames), and the Ogg page takes a byte of lacing per
// packet; real banks stay below 10 frames per byte. A stream claiming more is damaged.
inline constexpr std::uint64_t kMaxFramesPerByte = 4096;
// The most frames one stream may decode to: an int32 frame count with room for the padding.
inline constexpr std::uint64_t kMaxStreamFrames = 0x7FFF0000;

// The bytes read from a stream's end to find its last Ogg page: most last pages are a few
// kilobytes; the largest possible page (27 + 255 + 255 * 255 bytes) is looked for when the
// short read does not hold it.
inline constexpr std::size_t kShortTail = 8192;
inline constexpr std::size_t kLongestPage = 27 + 255 + 255 * 255;

// The frame count of a stream of `streamBytes` bytes whose last bytes are `tail`: the
// granule position of the Ogg page that ends exactly at the end of the stream. Empty when
// no such page is in the tail, its granule is negative, or it claims more frames than the
// stream can hold (kMaxFramesPerByte, kMaxStreamFrames).
std::optional<std::uint64_t> streamFrames(std::span<const std::uint8_t> tail,
                                          std::uint64_t streamBytes) noexcept;

// Decodes an Ogg Vorbis stream held in memory into `out` (replacing its contents): the
// first channel, each value rounded to 16 bits (ties away from zero) and clipped. True only
// when the stream decodes without error to exactly `frames` frames; decoding stops as soon
// as it yields more, so `out` never grows past frames + one packet.
bool decodeVorbis(std::span<const std::uint8_t> stream, std::size_t frames,
                  std::vector<std::int16_t>& out);

} // namespace korvelt::codec
