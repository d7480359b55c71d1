#include "app/OptionsModel.h"

#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "platform/Path.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvelt::options {
namespace {

int roundNearest(double x) noexcept {
    return static_cast<int>(std::lround(x));
}

int roundHalfUp(double x) noexcept {
    const double whole = std::floor(x);
    return static_cast<int>(whole) + (x - whole >= 0.5 ? 1 : 0);
}

int clampPosition(int controlId, int position) noexcept {
    return std::clamp(position, 0, sliderMaximum(controlId));
}

} // namespace

int sliderMaximum(int controlId) noexcept {
    switch (controlId) {
    case kDelayTime:
    case kModulation:
    case kStereoSpread:
    case kMasterVolume:
    case kCompressor:
        return 20;
    case kFeedback:
        return 9;
    default:
        return 10;
    }
}

int delayTimePosition(int milliseconds) noexcept {
    if (milliseconds < 1)
        return 0;
    return clampPosition(kDelayTime, roundHalfUp(std::log10(double(milliseconds)) * 6.667));
}

int delayTimeFromPosition(int position) noexcept {
    return roundHalfUp(std::pow(10.0, position * 0.14999250037498124));
}

long readMagnitude(const std::string& text) noexcept {
    if (text.empty())
        return 0;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = std::min<long>(value * 10 + (c - '0'), 1000000000L);
    }
    return value;
}

OptionsValues fromSettings(const Settings& s) {
    OptionsValues v;
    v.showMidiErrors = s.render.showMidiErrors;
    v.rescaleOutput = s.rescaleOutput;
    const int tempo = s.render.tempoPercent;
    v.slower = tempo >= 0;
    v.tempoText = std::to_string(tempo < 0 ? -static_cast<long>(tempo) : tempo);
    const int transpose = s.render.transposeSemitones;
    v.higher = transpose >= 0;
    v.transposeText = std::to_string(transpose < 0 ? -static_cast<long>(transpose) : transpose);
    v.roomSize = clampPosition(kRoomSize, roundNearest(double(s.render.reverbRoomSize.get()) * 10));
    v.damping = clampPosition(kDamping, s.render.reverbDamping / 10);
    v.reverbAmount =
        clampPosition(kReverbAmount, roundNearest((double(s.render.reverbAmount.get()) + 1) * 5));
    v.chorusAmount =
        clampPosition(kChorusAmount, roundNearest((double(s.render.chorusAmount.get()) + 1) * 5));
    v.delayTime = delayTimePosition(s.render.delayTimeMs);
    v.modulation = clampPosition(kModulation, s.render.delayModulationMs);
    v.feedback = clampPosition(kFeedback, roundNearest(double(s.render.delayFeedback.get()) * 10));
    v.delayAmount =
        clampPosition(kDelayAmount, roundNearest(double(s.render.delayAmount.get()) * 10));
    v.stereoSpread = clampPosition(kStereoSpread, s.render.delayStereoSpreadMs / 2);
    v.masterVolume = clampPosition(kMasterVolume, s.render.masterVolumeDb / 2 + 10);
    v.compressor = clampPosition(kCompressor, s.render.compressorLevel);
    v.defaultSoundBank = s.defaultSoundBank;
    v.defaultOutputFile = s.defaultOutputFile;
    return v;
}

void toSettings(const OptionsValues& v, Settings& s) {
    s.render.showMidiErrors = v.showMidiErrors;
    s.rescaleOutput = v.rescaleOutput;
    long tempo = readMagnitude(v.tempoText);
    if (!v.slower)
        tempo = -std::min(tempo, kMaxFasterPercent);
    s.render.tempoPercent = static_cast<std::int32_t>(std::min<long>(tempo, 1000000L));
    long transpose = std::min<long>(readMagnitude(v.transposeText), 127);
    s.render.transposeSemitones = static_cast<std::int32_t>(v.higher ? transpose : -transpose);
    s.render.reverbRoomSize = static_cast<float>(v.roomSize * 0.1);
    s.render.reverbDamping = v.damping * 10;
    s.render.reverbAmount = static_cast<float>((v.reverbAmount - 5) * 0.2);
    s.render.chorusAmount = static_cast<float>((v.chorusAmount - 5) * 0.2);
    s.render.delayTimeMs = delayTimeFromPosition(v.delayTime);
    s.render.delayModulationMs = v.modulation;
    s.render.delayFeedback = static_cast<float>(v.feedback * 0.1);
    s.render.delayStereoSpreadMs = v.stereoSpread * 2;
    s.render.delayAmount = static_cast<float>(v.delayAmount * 0.1);
    s.render.masterVolumeDb = 2 * v.masterVolume - 20;
    s.render.compressorLevel = v.compressor;
    s.defaultSoundBank = path::limit(v.defaultSoundBank);
    s.defaultOutputFile = path::limit(v.defaultOutputFile);
}

std::optional<FileProblem> ok(const OptionsValues& values, Settings& settings,
                              const std::string& settingsFile) {
    toSettings(values, settings);
    return saveDefaultFiles(settings, settingsFile);
}

} // namespace korvelt::options
