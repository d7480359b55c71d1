#pragma once

#include "platform/FileProblem.h"

#include <optional>
#include <string>

namespace korvelt {

struct Settings;

// The Options dialog without its window: the values of its controls, how they are filled
// from the Settings when it opens, and how OK writes them back.
struct OptionsValues {
    bool showMidiErrors = false; // 1010
    bool rescaleOutput = true;   // 1032
    bool slower = true;          // 1012 checked, else 1013 "&Faster"
    std::string tempoText;       // 1015
    bool higher = true;          // 1016 checked, else 1017 "&Lower"
    std::string transposeText;   // 1018
    // Slider positions.
    int roomSize = 0;              // 1034, 0 ... 10
    int damping = 0;               // 1035, 0 ... 10
    int reverbAmount = 0;          // 1036, 0 ... 10
    int chorusAmount = 0;          // 1037, 0 ... 10
    int delayTime = 0;             // 1040, 0 ... 20
    int modulation = 0;            // 1043, 0 ... 20
    int feedback = 0;              // 1041, 0 ... 9
    int delayAmount = 0;           // 1042, 0 ... 10
    int stereoSpread = 0;          // 1044, 0 ... 20
    int masterVolume = 0;          // 1038, 0 ... 20
    int compressor = 0;            // 1039, 0 ... 20
    std::string defaultSoundBank;  // 1024
    std::string defaultOutputFile; // 1025
};

namespace options {

// Control ids of the Options dialog.
inline constexpr int kShowMidiErrors = 1010;
inline constexpr int kSlower = 1012;
inline constexpr int kFaster = 1013;
inline constexpr int kTempoSpin = 1014;
inline constexpr int kTempoEdit = 1015;
inline constexpr int kHigher = 1016;
inline constexpr int kLower = 1017;
inline constexpr int kTransposeEdit = 1018;
inline constexpr int kTransposeSpin = 1019;
inline constexpr int kSoundBankEdit = 1024;
inline constexpr int kOutputEdit = 1025;
inline constexpr int kBrowseSoundBank = 1026;
inline constexpr int kBrowseOutput = 1027;
inline constexpr int kRescale = 1032;
inline constexpr int kRoomSize = 1034;
inline constexpr int kDamping = 1035;
inline constexpr int kReverbAmount = 1036;
inline constexpr int kChorusAmount = 1037;
inline constexpr int kMasterVolume = 1038;
inline constexpr int kCompressor = 1039;
inline constexpr int kDelayTime = 1040;
inline constexpr int kFeedback = 1041;
inline constexpr int kDelayAmount = 1042;
inline constexpr int kModulation = 1043;
inline constexpr int kStereoSpread = 1044;
inline constexpr int kHelp = 1002;

// The largest position of a slider (the smallest is 0).
int sliderMaximum(int controlId) noexcept;

// The controls' values for the Settings, as the dialog shows them when it opens.
OptionsValues fromSettings(const Settings& settings);
// Every field written from the controls, in the dialog's order (the file names cut to the
// path limit).
void toSettings(const OptionsValues& values, Settings& settings);
// OK: toSettings, then the default files saved to the settings file. Returns why they
// could not be saved, if so.
std::optional<FileProblem> ok(const OptionsValues& values, Settings& settings,
                              const std::string& settingsFile);

// The slider position of a delay time and back: a logarithmic scale of 21 positions from
// 1 to 1000 ms, both rounded half up.
int delayTimePosition(int milliseconds) noexcept;
int delayTimeFromPosition(int position) noexcept;
// A tempo or transposition text read as an unsigned whole number, 0 when it is not one.
long readMagnitude(const std::string& text) noexcept;

// The largest tempo magnitude taken with "&Faster": a tempo change of -100 % or more would
// stop the music.
inline constexpr long kMaxFasterPercent = 99;

} // namespace options
} // namespace korvelt
