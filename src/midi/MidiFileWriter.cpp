#include "midi/MidiFileWriter.h"

#include "platform/File.h"

#include <algorithm>

namespace korvelt {
namespace {

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}
std::string be16(std::uint16_t v) {
    return {char(v >> 8), char(v)};
}
char byte(int v) {
    return static_cast<char>(v & 0xFF);
}

} // namespace

std::string MidiFileWriter::variableLength(std::uint32_t value) {
    value &= 0x0FFFFFFF;
    std::string out(1, char(value & 0x7F));
    while ((value >>= 7) != 0)
        out.insert(out.begin(), char(0x80 | (value & 0x7F)));
    return out;
}

void MidiFileWriter::Track::raw(std::uint32_t tick, std::string bytes) {
    events_.push_back({tick, std::move(bytes)});
}

void MidiFileWriter::Track::noteOn(std::uint32_t tick, int channel, int key, int velocity) {
    raw(tick, {byte(0x90 | channel), byte(key), byte(velocity)});
}

void MidiFileWriter::Track::noteOff(std::uint32_t tick, int channel, int key, int velocity) {
    raw(tick, {byte(0x80 | channel), byte(key), byte(velocity)});
}

void MidiFileWriter::Track::note(std::uint32_t tick, std::uint32_t length, int channel, int key,
                                 int velocity) {
    noteOn(tick, channel, key, velocity);
    noteOff(tick + length, channel, key);
}

void MidiFileWriter::Track::controlChange(std::uint32_t tick, int channel, int controller,
                                          int value) {
    raw(tick, {byte(0xB0 | channel), byte(controller), byte(value)});
}

void MidiFileWriter::Track::programChange(std::uint32_t tick, int channel, int program) {
    raw(tick, {byte(0xC0 | channel), byte(program)});
}

void MidiFileWriter::Track::pitchBend(std::uint32_t tick, int channel, int value) {
    int v = std::clamp(value, -8192, 8191) + 8192;
    raw(tick, {byte(0xE0 | channel), byte(v & 0x7F), byte(v >> 7)});
}

void MidiFileWriter::Track::channelPressure(std::uint32_t tick, int channel, int value) {
    raw(tick, {byte(0xD0 | channel), byte(value)});
}

void MidiFileWriter::Track::tempo(std::uint32_t tick, std::uint32_t microsecondsPerQuarter) {
    meta(tick, 0x51,
         {byte(microsecondsPerQuarter >> 16), byte(microsecondsPerQuarter >> 8),
          byte(microsecondsPerQuarter)});
}

void MidiFileWriter::Track::meta(std::uint32_t tick, int type, const std::string& data) {
    std::string event{char(0xFF), byte(type)};
    event += variableLength(static_cast<std::uint32_t>(data.size()));
    event += data;
    raw(tick, std::move(event));
}

void MidiFileWriter::Track::sysex(std::uint32_t tick, const std::string& data) {
    std::string event(1, char(0xF0));
    event += variableLength(static_cast<std::uint32_t>(data.size()));
    event += data;
    raw(tick, std::move(event));
}

std::string MidiFileWriter::Track::bytes() const {
    std::vector<Event> sorted = events_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Event& a, const Event& b) { return a.tick < b.tick; });
    std::string body;
    std::uint32_t last = 0;
    for (const auto& e : sorted) {
        body += variableLength(e.tick - last);
        body += e.bytes;
        last = e.tick;
    }
    body += std::string{'\0', char(0xFF), 0x2F, '\0'};
    return body;
}

MidiFileWriter::Track& MidiFileWriter::addTrack() {
    return tracks_.emplace_back();
}

std::string MidiFileWriter::bytes() const {
    std::string out = "MThd" + be32(6) + be16(format_) +
                      be16(static_cast<std::uint16_t>(tracks_.size())) + be16(division_);
    for (const auto& track : tracks_) {
        std::string body = track.bytes();
        out += "MTrk" + be32(static_cast<std::uint32_t>(body.size())) + body;
    }
    return out;
}

bool MidiFileWriter::save(const std::string& path) const {
    std::string data = bytes();
    int fd = file::openWrite(path);
    if (fd < 0)
        return false;
    bool ok = file::writeAll(fd, data.data(), data.size());
    file::close(fd);
    return ok;
}

} // namespace korvelt
