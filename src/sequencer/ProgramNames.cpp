#include "sequencer/ProgramNames.h"

#include "midi/Cmidfil.h"

#include <array>
#include <string>

namespace korvelt {
namespace {

constexpr std::array<std::string_view, 128> kProgramNames = {
    "Acoustic Grand Piano",
    "Bright Acoustic Piano",
    "Electric Grand Piano",
    "Honky-tonk Piano",
    "Rhodes Piano",
    "Chorused Piano",
    "Harpsichord",
    "Clavinet Chromatic",
    "Celesta",
    "Glockenspiel",
    "Music Box",
    "Vibraphone",
    "Marimba",
    "Xylophone",
    "Tubular Bells",
    "Dulcimer",
    "Hammond Organ",
    "Percussive Organ",
    "Rock Organ",
    "Church Organ",
    "Reed Organ",
    "Accordion",
    "Harmonica",
    "Tango Accordion",
    "Acoustic Guitar(nylon)",
    "Acoustic Guitar(steel)",
    "Electric Guitar(jazz)",
    "Electric Guitar(clean)",
    "Electric Guitar(muted)",
    "Overdriven Guitar",
    "Distortion Guitar",
    "Guitar Harmonics",
    "Acoustic Bass",
    "Electric Bass(finger)",
    "Electric Bass(pick)",
    "Fretless Bass",
    "Slap Bass 1",
    "Slap Bass 2",
    "Synth Bass 1",
    "Synth Bass 2",
    "Violin",
    "Viola",
    "Cello",
    "Contrabass",
    "Tremolo Strings",
    "Pizzicato Strings",
    "Orchestral Harp",
    "Timpani",
    "String Ensemble 1",
    "String Ensemble 2",
    "Synth Strings 1",
    "Synth Strings 2",
    "Choir Aahs",
    "Voice Oohs",
    "Synth Voice",
    "Orchestra Hit",
    "Trumpet",
    "Trombone",
    "Tuba",
    "Muted Trumpet",
    "French Horn",
    "Brass Section",
    "Synth Brass 1",
    "Synth Brass 2",
    "Soprano Sax",
    "Alto Sax",
    "Tenor Sax",
    "Baritone Sax",
    "Oboe",
    "English Horn",
    "Bassoon",
    "Clarinet",
    "Piccolo",
    "Flute",
    "Recorder",
    "Pan flute",
    "Bottle Blow",
    "Shakuhachi",
    "Whistle",
    "Ocarina",
    "Lead 1(square)",
    "Lead 2(sawtooth)",
    "Lead 3(caliope lead)",
    "Lead 4(chiff lead)",
    "Lead 5(charang)",
    "Lead 6(voice)",
    "Lead 7(fifths)",
    "Lead 8(brass+lead)",
    "Pad 1(new age)",
    "Pad 2(warm)",
    "Pad 3(polysynth)",
    "Pad 4(choir)",
    "Pad 5(bowed)",
    "Pad 6(metallic)",
    "Pad 7(halo)",
    "Pad 8(sweep)",
    "FX 1(rain)",
    "FX 2(soundtrack)",
    "FX 3(crystal)",
    "FX 4(atmosphere)",
    "FX 5(brightness)",
    "FX 6(goblins)",
    "FX 7(echoes)",
    "FX 8(sci-fi)",
    "Sitar",
    "Banjo",
    "Shamisen",
    "Koto",
    "Kalimba",
    "Bagpipe",
    "Fidle",
    "Shanai",
    "Tinkle Bell",
    "Agogo",
    "Steel Drums",
    "Woodblock",
    "Taiko Drum",
    "Melodic Tom",
    "Synth Drum",
    "Reverse Cymbal",
    "Guitar Fret Noise",
    "Breath Noise",
    "Seashore",
    "Bird Tweet",
    "Telephone",
    "Helicopter",
    "Applause",
    "Gunshot",
};

constexpr int kPercussionChannel = 9;

} // namespace

std::string_view programName(int program) noexcept {
    if (program < 0 || program >= static_cast<int>(kProgramNames.size()))
        return {};
    return kProgramNames[static_cast<std::size_t>(program)];
}

std::array<std::string, kMidiChannels> channelLabels(const Cmidfil& midi) {
    std::array<std::string, kMidiChannels> labels;
    for (std::size_t t = 0; t < midi.trackCount(); ++t) {
        const Ctrack* track = midi.track(t);
        if (track == nullptr)
            continue;
        for (const Cmidiev& event : track->events()) {
            if (event.kind() != Cmidiev::kChannel || event.command() != 12)
                continue;
            std::string& label = labels[static_cast<std::size_t>(event.channel())];
            if (event.channel() == kPercussionChannel) {
                if (label.empty())
                    label = "Percussion";
                continue;
            }
            // Program numbers of 128 or more (only in malformed files) have no name and
            // leave the label as it is.
            const std::string_view name = programName(event.data1());
            if (name.empty())
                continue;
            if (label.empty())
                label = name;
            else if (label.find(name) == std::string::npos)
                label = label + "/" + std::string(name);
        }
    }
    return labels;
}

} // namespace korvelt
