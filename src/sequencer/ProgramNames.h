#pragma once

#include "engine/RenderConstants.h"

#include <array>
#include <string>
#include <string_view>

namespace korvelt {

class Cmidfil;

// The General MIDI name of a program number 0-127 as the mixer shows it; empty for
// numbers outside the table.
std::string_view programName(int program) noexcept;

// Each channel's label for the mixer: the names of the programs the file selects on the
// channel, joined by "/" (a name already contained in the label is not added again), or
// "Percussion" for channel 10; empty for a channel that selects none.
std::array<std::string, kMidiChannels> channelLabels(const Cmidfil& midi);

} // namespace korvelt
