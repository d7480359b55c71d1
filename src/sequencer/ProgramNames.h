#pragma once

#include <string_view>

namespace korvelt {

class Cmidfil;
struct Settings;

// The General MIDI name of a program number 0-127 as the mixer shows it; empty for
// numbers outside the table.
std::string_view programName(int program) noexcept;

// Writes each channel's label into the mixer entries of the Settings: the names of the
// programs the file selects on the channel, joined by "/" (a name already contained in the
// label is not added again), or "Percussion" for channel 10. The caller clears the labels
// first (Settings::resetMixer).
void labelMixerChannels(const Cmidfil& midi, Settings& settings);

} // namespace korvelt
