#pragma once

#include "app/AppDirectories.h"
#include "app/Settings.h"
#include "platform/FileProblem.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvelt {

// Where the settings file lives: KORVELT_INI when set, else
// $XDG_CONFIG_HOME/korvelt/Korvelt.ini, else ~/.config/korvelt/Korvelt.ini, else beside
// the program.
std::string settingsFilePath(const std::optional<std::string>& korveltIni,
                             const std::optional<std::string>& xdgConfigHome,
                             const std::optional<std::string>& home,
                             const std::string& programDirectory);
std::string settingsFilePathFromEnvironment(const AppDirectories& dirs);

// The bank used when the settings file names none: Korvelt.sf2 beside the program, else
// share/korvelt/Korvelt.sf2 of the installation, else the system's General MIDI SoundFont;
// Korvelt.sf2 beside the program when none of them exists.
std::string builtInSoundBank(const std::string& programDirectory);

// The help page: Help.htm beside the program (a build tree, a portable copy), else the one
// installed in share/korvelt of the installation the program's directory (its bin/) belongs
// to; the one beside the program when neither exists.
std::string helpPagePath(const std::string& programDirectory);

inline constexpr const char* kSystemGeneralMidiBank = "/usr/share/sounds/sf2/default-GM.sf2";

// Where the settings file keeps the two default file names.
inline constexpr const char* kFilesSection = "Files";
inline constexpr const char* kSoundBankKey = "Sound Bank";
inline constexpr const char* kOutputFileKey = "Output File";

// Sets every option to its default and takes the two default file names from the text of a
// settings file: a name without any separator lives in the program's directory (the bank)
// or the temporary directory (the output); a name missing or empty is the built-in one.
void loadSettingsFromText(Settings& settings, const AppDirectories& dirs, std::string_view text);
// Reads the settings file and does the same (loadSettingsFromText). A missing
// settings file gives the built-in names; one that exists but cannot be read gives them
// too, and its problem is returned for a message.
std::optional<FileProblem> loadSettings(Settings& settings, const AppDirectories& dirs,
                                        const std::string& iniPath);
// Writes "Output File", then "Sound Bank". The values stay in memory whatever happens; a
// failure's problem is returned for a message.
std::optional<FileProblem> saveDefaultFiles(const Settings& settings, const std::string& iniPath);

} // namespace korvelt
