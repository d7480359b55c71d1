#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvelt {

// Writes Standard MIDI files: used to make the demo piece and the test material. Events
// are given with absolute ticks in any order; each track is written sorted by tick
// (events of equal tick keep the order they were added in) and ends with an end-of-track
// event.
class MidiFileWriter {
public:
    class Track {
    public:
        // Any complete message: status byte and data bytes (or a meta/sysex event body).
        void raw(std::uint32_t tick, std::string bytes);
        void noteOn(std::uint32_t tick, int channel, int key, int velocity);
        void noteOff(std::uint32_t tick, int channel, int key, int velocity = 0);
        void note(std::uint32_t tick, std::uint32_t length, int channel, int key, int velocity);
        void controlChange(std::uint32_t tick, int channel, int controller, int value);
        void programChange(std::uint32_t tick, int channel, int program);
        void pitchBend(std::uint32_t tick, int channel, int value); // -8192 ... 8191
        void channelPressure(std::uint32_t tick, int channel, int value);
        void tempo(std::uint32_t tick, std::uint32_t microsecondsPerQuarter);
        void meta(std::uint32_t tick, int type, const std::string& data);
        void sysex(std::uint32_t tick, const std::string& data); // data after the F0

        std::string bytes() const; // the chunk body, end of track included

    private:
        struct Event {
            std::uint32_t tick;
            std::string bytes;
        };
        std::vector<Event> events_;
    };

    explicit MidiFileWriter(std::uint16_t division, std::uint16_t format = 1)
        : division_(division), format_(format) {}

    Track& addTrack();
    std::string bytes() const;
    bool save(const std::string& path) const;

    static std::string variableLength(std::uint32_t value);

private:
    std::uint16_t division_;
    std::uint16_t format_;
    std::vector<Track> tracks_;
};

} // namespace korvelt
