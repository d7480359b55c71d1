#include "app/MixerModel.h"

#include <algorithm>

namespace korvelt::mixer {

int labelId(int channel) noexcept {
    return channel == 0 ? 1027 : 1032 + 4 * (channel - 1);
}
int sliderId(int channel) noexcept {
    return channel == 0 ? 1028 : 1033 + 4 * (channel - 1);
}
int muteId(int channel) noexcept {
    return channel == 0 ? 1029 : 1034 + 4 * (channel - 1);
}
int soloId(int channel) noexcept {
    return channel == 0 ? 1030 : 1035 + 4 * (channel - 1);
}

void fill(const Settings& settings, MixerStrips& strips) {
    for (std::size_t i = 0; i < strips.size(); ++i) {
        const ChannelMix& channel = settings.render.mixer[i];
        if (!settings.channelLabels[i].empty())
            strips[i].label = settings.channelLabels[i];
        strips[i].position = std::clamp(5 - channel.volumeCb.get() / 50, 0, 10);
        strips[i].mute = channel.muted;
    }
}

void solo(Settings& settings, MixerStrips& strips, int channel) {
    for (int i = 0; i < kMidiChannels; ++i) {
        settings.render.mixer[std::size_t(i)].muted = i != channel;
        strips[std::size_t(i)].mute = i != channel;
    }
}

void reset(Settings& settings, MixerStrips& strips) {
    for (auto& channel : settings.render.mixer) {
        channel.volumeCb = 0;
        channel.muted = false;
    }
    fill(settings, strips);
}

void apply(const MixerStrips& strips, Settings& settings) {
    for (std::size_t i = 0; i < strips.size(); ++i) {
        settings.render.mixer[i].muted = strips[i].mute;
        settings.render.mixer[i].volumeCb = (5 - strips[i].position) * 50;
    }
}

} // namespace korvelt::mixer
