// Writes the demo piece that scripts/demo converts: about 25 seconds at 100 beats per
// minute of piano, bass, strings, flute and drums in C major, using program changes,
// pan, reverb and chorus sends, expression, the sustain pedal, a pitch bend and vibrato.
//
//   make_demo OUTPUT.mid

#include "midi/MidiFileWriter.h"

#include <cstdio>
#include <vector>

using korvelt::MidiFileWriter;

namespace {

constexpr std::uint32_t kQuarter = 480;
constexpr std::uint32_t kBar = 4 * kQuarter;

enum Channel { Piano = 0, Bass = 1, Strings = 2, Flute = 3, Drums = 9 };

// C, Am, F, G, twice; each chord as its three keys around middle C.
const int kChords[8][3] = {{60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62},
                           {60, 64, 67}, {57, 60, 64}, {53, 57, 60}, {55, 59, 62}};
const int kRoots[8] = {36, 33, 29, 31, 36, 33, 29, 31};

struct MelodyNote {
    std::uint32_t start; // in eighths from the start of the bar
    std::uint32_t length;
    int key;
};
const std::vector<MelodyNote> kMelody[8] = {
    {{0, 2, 76}, {2, 2, 79}, {4, 2, 84}, {6, 2, 83}},
    {{0, 2, 81}, {2, 2, 79}, {4, 2, 76}, {6, 2, 72}},
    {{0, 2, 77}, {2, 2, 81}, {4, 2, 84}, {6, 2, 81}},
    {{0, 4, 79}, {4, 2, 83}, {6, 2, 86}},
    {{0, 1, 84}, {1, 1, 83}, {2, 2, 84}, {4, 4, 88}},
    {{0, 2, 84}, {2, 1, 83}, {3, 1, 81}, {4, 4, 76}},
    {{0, 2, 77}, {2, 2, 81}, {4, 1, 84}, {5, 1, 86}, {6, 2, 88}},
    {{0, 2, 86}, {2, 2, 83}, {4, 4, 79}},
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo OUTPUT.mid\n");
        return 2;
    }
    MidiFileWriter midi(kQuarter);

    auto& conductor = midi.addTrack();
    conductor.meta(0, 0x03, "Korvelt demo");
    conductor.meta(0, 0x58, std::string{4, 2, 24, 8}); // 4/4
    conductor.tempo(0, 600000);                        // 100 beats per minute
    conductor.tempo(8 * kBar, 700000);                 // broaden for the final chord

    auto& piano = midi.addTrack();
    piano.programChange(0, Piano, 0);
    piano.controlChange(0, Piano, 10, 44); // a little left
    piano.controlChange(0, Piano, 91, 60);
    for (int bar = 0; bar < 8; ++bar) {
        const std::uint32_t t = std::uint32_t(bar) * kBar;
        piano.controlChange(t, Piano, 64, 0);
        piano.controlChange(t + 10, Piano, 64, 127); // pedal down just after the change
        for (std::uint32_t beat = 0; beat < 4; ++beat)
            for (int key : kChords[bar])
                piano.note(t + beat * kQuarter, kQuarter - 40, Piano, key, beat % 2 == 0 ? 88 : 70);
    }
    piano.controlChange(8 * kBar, Piano, 64, 0);
    for (int key : {48, 60, 64, 67, 72})
        piano.note(8 * kBar, 2 * kBar - 60, Piano, key, 84);

    auto& bass = midi.addTrack();
    bass.programChange(0, Bass, 33);
    bass.controlChange(0, Bass, 10, 64);
    for (int bar = 0; bar < 8; ++bar)
        for (std::uint32_t eighth = 0; eighth < 8; ++eighth) {
            const int key = kRoots[bar] + ((eighth == 3 || eighth == 7) ? 7 : 0);
            bass.note(std::uint32_t(bar) * kBar + eighth * kQuarter / 2, kQuarter / 2 - 30, Bass,
                      key, eighth % 2 == 0 ? 100 : 80);
        }
    bass.note(8 * kBar, 2 * kBar - 60, Bass, 36, 100);

    auto& strings = midi.addTrack();
    strings.programChange(0, Strings, 48);
    strings.controlChange(0, Strings, 10, 84); // a little right
    strings.controlChange(0, Strings, 91, 90);
    strings.controlChange(0, Strings, 93, 40);
    for (int bar = 0; bar < 8; ++bar) {
        const std::uint32_t t = std::uint32_t(bar) * kBar;
        for (int step = 0; step < 8; ++step) // swell within each bar
            strings.controlChange(t + std::uint32_t(step) * kBar / 8, Strings, 11, 70 + step * 6);
        for (int key : kChords[bar])
            strings.note(t, kBar - 20, Strings, key - 12, 64);
    }
    strings.controlChange(8 * kBar, Strings, 11, 110);
    for (int key : {48, 55, 64})
        strings.note(8 * kBar, 2 * kBar - 60, Strings, key, 70);

    auto& flute = midi.addTrack();
    flute.programChange(0, Flute, 73);
    flute.controlChange(0, Flute, 91, 70);
    flute.controlChange(0, Flute, 10, 70);
    for (int bar = 0; bar < 8; ++bar) {
        const std::uint32_t t = std::uint32_t(bar) * kBar;
        for (const auto& n : kMelody[bar])
            flute.note(t + n.start * kQuarter / 2, n.length * kQuarter / 2 - 20, Flute, n.key, 92);
    }
    // A slide up into the last bar of the first half, with vibrato on the long note.
    flute.pitchBend(3 * kBar + 2 * kQuarter - 120, Flute, -2048);
    flute.pitchBend(3 * kBar + 2 * kQuarter - 60, Flute, -1024);
    flute.pitchBend(3 * kBar + 2 * kQuarter, Flute, 0);
    flute.controlChange(4 * kBar + 2 * kQuarter, Flute, 1, 80);
    flute.controlChange(5 * kBar, Flute, 1, 0);
    flute.note(8 * kBar, 2 * kBar - 60, Flute, 84, 96);

    auto& drums = midi.addTrack();
    drums.programChange(0, Drums, 0); // the standard kit
    drums.controlChange(0, Drums, 91, 40);
    for (int bar = 0; bar < 8; ++bar) {
        const std::uint32_t t = std::uint32_t(bar) * kBar;
        if (bar == 0 || bar == 4)
            drums.note(t, kQuarter, Drums, 49, 100); // crash
        for (std::uint32_t beat = 0; beat < 4; ++beat) {
            const std::uint32_t b = t + beat * kQuarter;
            drums.note(b, kQuarter / 4, Drums, beat % 2 == 0 ? 36 : 38, beat % 2 == 0 ? 110 : 96);
            drums.note(b, kQuarter / 4, Drums, 42, 70);
            drums.note(b + kQuarter / 2, kQuarter / 4, Drums, bar == 7 && beat == 3 ? 46 : 42, 55);
        }
    }
    drums.note(8 * kBar, kQuarter, Drums, 36, 110);
    drums.note(8 * kBar, kQuarter, Drums, 49, 110);

    if (!midi.save(argv[1])) {
        std::fprintf(stderr, "make_demo: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
