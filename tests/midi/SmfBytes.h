#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Builds the bytes of Standard MIDI files for tests, well-formed or not.
namespace korvelt::test::smf {

inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v & 0xFF);
    return out;
}

inline std::string be32(std::uint32_t v) {
    return bytes({int(v >> 24), int(v >> 16), int(v >> 8), int(v)});
}

inline std::string be16(std::uint16_t v) {
    return bytes({v >> 8, v});
}

// A variable-length number in its shortest form (values below 2^28).
inline std::string vnum(std::uint32_t v) {
    std::string out(1, static_cast<char>(v & 0x7F));
    while ((v >>= 7) != 0)
        out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

// "MThd", the length, format, track count, division, then `extra` (its size is added to
// the length unless `length` is given).
inline std::string header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division,
                          const std::string& extra = {}, std::int64_t length = -1) {
    const auto len = static_cast<std::uint32_t>(length >= 0 ? length : 6 + extra.size());
    return "MThd" + be32(len) + be16(format) + be16(tracks) + be16(division) + extra;
}

// "MTrk", the body's length (or `length` when given), the body.
inline std::string track(const std::string& body, std::int64_t length = -1) {
    const auto len = static_cast<std::uint32_t>(length >= 0 ? length : body.size());
    return "MTrk" + be32(len) + body;
}

// A single-track format 0 file with division 96.
inline std::string file(const std::string& body) {
    return header(0, 1, 96) + track(body);
}

inline std::string meta(std::uint32_t delta, int type, const std::string& data) {
    return vnum(delta) + bytes({0xFF, type}) + vnum(static_cast<std::uint32_t>(data.size())) + data;
}

inline std::string sysex(std::uint32_t delta, int status, const std::string& data) {
    return vnum(delta) + bytes({status}) + vnum(static_cast<std::uint32_t>(data.size())) + data;
}

inline std::string endOfTrack(std::uint32_t delta = 0) {
    return meta(delta, 0x2F, {});
}

inline std::string le32(std::uint32_t v) {
    return bytes({int(v), int(v >> 8), int(v >> 16), int(v >> 24)});
}

// A RIFF chunk: its type, the body's size (little-endian), the body, and a pad byte when
// the size is odd.
inline std::string riffChunk(const std::string& type, const std::string& body) {
    return type + le32(static_cast<std::uint32_t>(body.size())) + body +
           std::string(body.size() % 2, '\0');
}

// A RIFF MIDI file: "RIFF", its size, "RMID", the chunks `before`, a "data" chunk holding
// `smf`, the chunks `after`.
inline std::string rmid(const std::string& smf, const std::string& before = {},
                        const std::string& after = {}) {
    const std::string body = "RMID" + before + riffChunk("data", smf) + after;
    return "RIFF" + le32(static_cast<std::uint32_t>(body.size())) + body;
}

// The messages the reader shows, exactly.
inline const std::string kFileMessage = "Cmidfil::rdmidi\nError while reading midi file";
inline const std::string kBadData = "Ctrack::rdmidi\nBad data in midi file";
inline const std::string kBadVnum = "Ctrack::rdmidi\nError while reading Vnum";
inline const std::string kNoRunningStatus = "Ctrack::rdmidi\nMissing running status";
inline const std::string kBadSysex = "Csysexev::rdmidi\nError while reading system exclusive";
inline const std::string kBadMeta = "Cmetaev::rdmidi\nError while reading meta event";

// A file built from pieces, each labelled with the message a reader must give when the
// file is cut inside that piece (the first missing byte belongs to it).
class LabelledFile {
public:
    void add(const std::string& piece, const std::string& cutMessage) {
        bytes_ += piece;
        labels_.insert(labels_.end(), piece.size(), cutMessage);
    }
    // A track chunk made of labelled event pieces; its head is labelled as bad data.
    void addTrack(const LabelledFile& body) {
        add(track({}, static_cast<std::int64_t>(body.bytes_.size())), kBadData);
        bytes_ += body.bytes_;
        labels_.insert(labels_.end(), body.labels_.begin(), body.labels_.end());
    }
    const std::string& bytes() const { return bytes_; }
    // The specific message for a file cut to `size` bytes ("" when only the file message
    // is due: a cut inside the header).
    const std::string& cutMessage(std::size_t size) const { return labels_.at(size); }

private:
    std::string bytes_;
    std::vector<std::string> labels_;
};

} // namespace korvelt::test::smf
