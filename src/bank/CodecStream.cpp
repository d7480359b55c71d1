#include "bank/CodecStream.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korvelt::codec {

namespace {

constexpr std::size_t kPageHead = 27; // an Ogg page head without its lacing values

bool startsWith(std::span<const std::uint8_t> bytes, std::size_t at, const char* text,
                std::size_t n) noexcept {
    return at <= bytes.size() && n <= bytes.size() - at &&
           std::memcmp(bytes.data() + at, text, n) == 0;
}

std::int64_t granuleAt(const std::uint8_t* p) noexcept {
    std::uint64_t g = 0;
    for (int i = 7; i >= 0; --i)
        g = (g << 8) | p[i];
    return static_cast<std::int64_t>(g);
}

// The stream being decoded, read by libvorbisfile through the callbacks below.
struct MemoryStream {
    std::span<const std::uint8_t> bytes;
    std::size_t position = 0;
};

std::size_t readMemory(void* to, std::size_t size, std::size_t count, void* source) {
    auto* s = static_cast<MemoryStream*>(source);
    if (size == 0)
        return 0;
    const std::size_t items = std::min(count, (s->bytes.size() - s->position) / size);
    std::memcpy(to, s->bytes.data() + s->position, items * size);
    s->position += items * size;
    return items;
}

// Closes the decoder on every way out, a failed allocation included.
struct OpenFile {
    OggVorbis_File file{};
    bool open = false;
    ~OpenFile() {
        if (open)
            ov_clear(&file);
    }
};

std::int16_t toFrame(float value) noexcept {
    const double scaled = std::clamp(double(value) * 32768.0, -32768.0, 32767.0);
    return static_cast<std::int16_t>(std::lround(scaled));
}

} // namespace

Codec identify(std::span<const std::uint8_t> stream) noexcept {
    if (startsWith(stream, 0, "fLaC", 4))
        return Codec::Flac;
    if (!startsWith(stream, 0, "OggS", 4) || stream.size() < kPageHead)
        return Codec::Unknown;
    // The first packet follows the page head and its lacing values.
    const std::size_t packet = kPageHead + stream[26];
    if (startsWith(stream, packet, "\x01vorbis", 7))
        return Codec::Vorbis;
    if (startsWith(stream, packet, "OpusHead", 8))
        return Codec::Opus;
    if (startsWith(stream, packet,
                   "\x7F"
                   "FLAC",
                   5))
        return Codec::Flac;
    return Codec::Unknown;
}

const char* codecName(Codec codec) noexcept {
    switch (codec) {
    case Codec::Vorbis:
        return "Ogg Vorbis";
    case Codec::Opus:
        return "Opus";
    case Codec::Flac:
        return "FLAC";
    default:
        return "unknown";
    }
}

std::optional<std::uint64_t> streamFrames(std::span<const std::uint8_t> tail,
                                          std::uint64_t streamBytes) noexcept {
    // The last page: a page head, version 0, whose lacing values add up to a body that
    // ends exactly where the stream does.
    for (std::size_t at = tail.size() >= kPageHead ? tail.size() - kPageHead + 1 : 0; at-- > 0;) {
        if (!startsWith(tail, at, "OggS", 4) || tail[at + 4] != 0)
            continue;
        const std::size_t lacing = tail[at + 26];
        if (kPageHead + lacing > tail.size() - at)
            continue;
        std::size_t body = 0;
        for (std::size_t i = 0; i < lacing; ++i)
            body += tail[at + kPageHead + i];
        if (kPageHead + lacing + body != tail.size() - at)
            continue;
        const std::int64_t granule = granuleAt(tail.data() + at + 6);
        if (granule < 0 || std::uint64_t(granule) > kMaxStreamFrames ||
            std::uint64_t(granule) > std::min(streamBytes, kMaxStreamFrames) * kMaxFramesPerByte)
            return std::nullopt;
        return static_cast<std::uint64_t>(granule);
    }
    return std::nullopt;
}

bool decodeVorbis(std::span<const std::uint8_t> stream, std::size_t frames,
                  std::vector<std::int16_t>& out) {
    out.clear();
    MemoryStream source{stream};
    // No seeking: the stream is decoded once from its start, and libvorbisfile then never
    // scans the stream for its links before the first frame.
    const ov_callbacks callbacks{readMemory, nullptr, nullptr, nullptr};
    OpenFile decoder;
    if (ov_open_callbacks(&source, &decoder.file, nullptr, 0, callbacks) != 0)
        return false;
    decoder.open = true;
    out.reserve(std::min<std::size_t>(frames, std::size_t(1) << 20));
    for (;;) {
        float** pcm = nullptr;
        int link = 0;
        // Never more than one frame beyond what the stream should hold.
        const std::size_t room = frames + 1 - out.size();
        const long got = ov_read_float(&decoder.file, &pcm,
                                       static_cast<int>(std::min<std::size_t>(room, 4096)), &link);
        if (got < 0)
            return false; // a hole, a bad link or a damaged packet
        if (got == 0)
            break;
        const float* first = pcm[0];
        for (long i = 0; i < got; ++i)
            out.push_back(toFrame(first[i]));
        if (out.size() > frames)
            return false;
    }
    return out.size() == frames;
}

} // namespace korvelt::codec
