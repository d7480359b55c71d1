#pragma once

namespace korvelt {

// The controls of the main window, by id.
namespace control {
inline constexpr int kOptions = 1000;
inline constexpr int kAbout = 1001;
inline constexpr int kHelp = 1002;
inline constexpr int kSoundBankName = 1003;
inline constexpr int kChangeSoundBank = 1004;
inline constexpr int kMidiFileName = 1005;
inline constexpr int kLoadMidi = 1006;
inline constexpr int kConvert = 1007;
inline constexpr int kListen = 1008;
inline constexpr int kProgress = 1009;
inline constexpr int kBatch = 1010;
inline constexpr int kMixer = 1011;
inline constexpr int kOutputFileName = 1012;
inline constexpr int kChangeOutput = 1013;
} // namespace control

// Button texts that change with the state.
namespace caption {
inline constexpr const char* kConvert = "&Convert";
inline constexpr const char* kAbort = "A&bort";
inline constexpr const char* kBatch = "&Batch";
inline constexpr const char* kListen = "&Listen";
inline constexpr const char* kStop = "&Stop";
} // namespace caption

} // namespace korvelt
