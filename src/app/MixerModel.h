#pragma once

#include "app/Settings.h"

#include <array>
#include <string>

namespace korvelt {

// One channel strip of the Mixer dialog: its label, its slider position (0 at the top,
// +25 dB, to 10 at the bottom, -25 dB) and its Mute box.
struct MixerStrip {
    std::string label;
    int position = 5;
    bool mute = false;
};

using MixerStrips = std::array<MixerStrip, kMidiChannels>;

// The Mixer dialog without its window.
namespace mixer {

// Control ids of channel i (0 ... 15).
int labelId(int channel) noexcept;
int sliderId(int channel) noexcept;
int muteId(int channel) noexcept;
int soloId(int channel) noexcept;
inline constexpr int kReset = 1031;

// Fills the strips from the Settings (on opening and after Reset); a channel without a
// name keeps its label as it is.
void fill(const Settings& settings, MixerStrips& strips);
// Solo: every other channel muted, this one not, in the Settings at once.
void solo(Settings& settings, MixerStrips& strips, int channel);
// Reset: every channel to 0 dB and unmuted in the Settings at once, then filled again.
void reset(Settings& settings, MixerStrips& strips);
// OK: every strip written into the Settings.
void apply(const MixerStrips& strips, Settings& settings);

} // namespace mixer
} // namespace korvelt
