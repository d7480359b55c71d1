#pragma once

#include "engine/LiveValue.h"
#include "engine/RenderOptions.h"

#include <array>
#include <string>

namespace korvelt {

// Every user option: the render options, and what only the application has (the rescale of
// a finished file, the two default files, the mixer's channel labels). Only the two default
// file names persist (in the settings file); everything else starts from its default at
// each start of the program.
struct Settings {
    // What every render reads (the Options and Mixer dialogs may change it during a render).
    RenderOptions render;
    LiveValue<bool> rescaleOutput{true};
    std::string defaultSoundBank;
    std::string defaultOutputFile;
    // The mixer's label of each channel: the names of the programs the loaded file selects
    // on it, joined by "/", or "Percussion" for channel 10. Empty when the channel has none.
    // Written only while no render runs.
    std::array<std::string, kMidiChannels> channelLabels;

    // Every option but the two file names and the mixer back to its built-in default.
    void setDefaults() noexcept {
        render.setDefaults();
        rescaleOutput = true;
    }

    // Every mixer channel back to no label, 0 dB, not muted.
    void resetMixer() noexcept {
        for (auto& label : channelLabels)
            label.clear();
        render.resetMixer();
    }
};

} // namespace korvelt
