#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace korvelt {

// A setting that the window thread may change while the render thread reads it. Each
// read sees either the old or the new value, never a torn one; no ordering is implied.
template <class T>
class LiveValue {
public:
    LiveValue(T value = T{}) noexcept : value_(value) {}
    LiveValue(const LiveValue& other) noexcept : value_(other.get()) {}
    LiveValue& operator=(const LiveValue& other) noexcept {
        set(other.get());
        return *this;
    }
    LiveValue& operator=(T value) noexcept {
        set(value);
        return *this;
    }
    operator T() const noexcept { return get(); }
    T get() const noexcept { return value_.load(std::memory_order_relaxed); }
    void set(T value) noexcept { value_.store(value, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

// One channel strip of the mixer.
struct MixerChannel {
    // The channel's label: the names of the programs the loaded file selects on it,
    // joined by "/", or "Percussion" for channel 10. Empty when the channel has none.
    // Written only while no render runs.
    std::string name;
    // Volume offset in centibels, positive louder (-250 ... +250 from the Mixer).
    LiveValue<std::int32_t> volumeCb{0};
    // A muted channel is skipped entirely by the render loop.
    LiveValue<bool> muted{false};
};

inline constexpr int kMidiChannels = 16;

// Every user option. Only the two default file names persist (in the settings file);
// everything else starts from the defaults below at each start of the program.
struct Settings {
    LiveValue<bool> showMidiErrors{false};
    LiveValue<std::int32_t> tempoPercent{0};       // positive slower, negative faster
    LiveValue<std::int32_t> transposeSemitones{0}; // not applied on MIDI channel 10
    LiveValue<float> reverbRoomSize{0.5f};         // 0.0 small room ... 1.0 concert hall
    LiveValue<std::int32_t> reverbDamping{50};     // percent
    LiveValue<float> reverbAmount{0.0f};           // -1.0 ... +1.0, added to every send
    LiveValue<float> chorusAmount{0.0f};           // -1.0 ... +1.0, added to every send
    LiveValue<bool> rescaleOutput{true};
    LiveValue<std::int32_t> masterVolumeDb{0};
    LiveValue<std::int32_t> compressorLevel{8}; // dB of make-up gain, 0 = off
    LiveValue<std::int32_t> delayTimeMs{20};
    LiveValue<std::int32_t> delayModulationMs{0};
    LiveValue<float> delayFeedback{0.0f};
    LiveValue<float> delayAmount{0.5f}; // wet share; 0 turns the delay off
    LiveValue<std::int32_t> delayStereoSpreadMs{8};
    std::string defaultSoundBank;
    std::string defaultOutputFile;
    std::array<MixerChannel, kMidiChannels> mixer;

    // Every option but the two file names and the mixer back to its built-in default.
    void setDefaults() noexcept {
        compressorLevel = 8;
        delayStereoSpreadMs = 8;
        showMidiErrors = false;
        rescaleOutput = true;
        tempoPercent = 0;
        transposeSemitones = 0;
        reverbRoomSize = 0.5f;
        reverbDamping = 50;
        reverbAmount = 0.0f;
        chorusAmount = 0.0f;
        masterVolumeDb = 0;
        delayTimeMs = 20;
        delayModulationMs = 0;
        delayFeedback = 0.0f;
        delayAmount = 0.5f;
    }

    // Every mixer entry back to no label, 0 dB, not muted.
    void resetMixer() noexcept {
        for (auto& channel : mixer) {
            channel.name.clear();
            channel.volumeCb = 0;
            channel.muted = false;
        }
    }
};

} // namespace korvelt
