#pragma once

#include "engine/LiveValue.h"
#include "engine/RenderConstants.h"

#include <array>
#include <cstdint>

namespace korvelt {

// One channel strip of the mixer as the render reads it.
struct ChannelMix {
    // Volume offset in centibels, positive louder (-250 ... +250 from the Mixer).
    LiveValue<std::int32_t> volumeCb{0};
    // A muted channel is skipped entirely by the render loop.
    LiveValue<bool> muted{false};
};

// Every value a render reads besides its MIDI file and its bank. Each is a LiveValue: the
// application may change them while a render runs (the Options and Mixer dialogs), and the
// render takes the new value the next time it reads it.
struct RenderOptions {
    LiveValue<bool> showMidiErrors{false};         // report MIDI and bank data problems
    LiveValue<std::int32_t> tempoPercent{0};       // positive slower, negative faster
    LiveValue<std::int32_t> transposeSemitones{0}; // not applied on MIDI channel 10
    LiveValue<float> reverbRoomSize{0.5f};         // 0.0 small room ... 1.0 concert hall
    LiveValue<std::int32_t> reverbDamping{50};     // percent
    LiveValue<float> reverbAmount{0.0f};           // -1.0 ... +1.0, added to every send
    LiveValue<float> chorusAmount{0.0f};           // -1.0 ... +1.0, added to every send
    LiveValue<std::int32_t> masterVolumeDb{0};
    LiveValue<std::int32_t> compressorLevel{8}; // dB of make-up gain, 0 = off
    LiveValue<std::int32_t> delayTimeMs{20};
    LiveValue<std::int32_t> delayModulationMs{0};
    LiveValue<float> delayFeedback{0.0f};
    LiveValue<float> delayAmount{0.5f}; // wet share; 0 turns the delay off
    LiveValue<std::int32_t> delayStereoSpreadMs{8};
    std::array<ChannelMix, kMidiChannels> mixer;

    // Every option but the mixer back to its built-in default.
    void setDefaults() noexcept {
        showMidiErrors = false;
        tempoPercent = 0;
        transposeSemitones = 0;
        reverbRoomSize = 0.5f;
        reverbDamping = 50;
        reverbAmount = 0.0f;
        chorusAmount = 0.0f;
        masterVolumeDb = 0;
        compressorLevel = 8;
        delayTimeMs = 20;
        delayModulationMs = 0;
        delayFeedback = 0.0f;
        delayAmount = 0.5f;
        delayStereoSpreadMs = 8;
    }

    // Every channel back to 0 dB, not muted.
    void resetMixer() noexcept {
        for (auto& channel : mixer) {
            channel.volumeCb = 0;
            channel.muted = false;
        }
    }
};

} // namespace korvelt
