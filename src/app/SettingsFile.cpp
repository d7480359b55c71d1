#include "app/SettingsFile.h"

#include "platform/File.h"
#include "platform/IniFile.h"
#include "platform/Path.h"
#include "platform/System.h"

#include <cerrno>

namespace korvelt {
namespace {

// A stored name in native form; a name without any separator lives in `dir`.
std::string resolveStored(std::string value, const std::string& dir) {
    value = path::toNativeSeparators(std::move(value));
    if (value.find(path::kSeparator) == std::string::npos)
        value = path::join(dir, value);
    return path::limit(std::move(value));
}

} // namespace

std::string settingsFilePath(const std::optional<std::string>& korveltIni,
                             const std::optional<std::string>& xdgConfigHome,
                             const std::optional<std::string>& home,
                             const std::string& programDirectory) {
    if (korveltIni && !korveltIni->empty())
        return *korveltIni;
    if (xdgConfigHome && !xdgConfigHome->empty())
        return path::join(path::join(*xdgConfigHome, "korvelt"), "Korvelt.ini");
    if (home && !home->empty())
        return path::join(path::join(path::join(*home, ".config"), "korvelt"), "Korvelt.ini");
    return path::join(programDirectory, "Korvelt.ini");
}

std::string settingsFilePathFromEnvironment(const AppDirectories& dirs) {
    return settingsFilePath(sys::environment("KORVELT_INI"), sys::environment("XDG_CONFIG_HOME"),
                            sys::environment("HOME"), dirs.programDirectory);
}

std::string builtInSoundBank(const std::string& programDirectory) {
    const std::string besideProgram = path::join(programDirectory, "Korvelt.sf2");
    if (file::exists(besideProgram))
        return besideProgram;
    const std::string installed =
        path::join(path::directoryOrEmpty(programDirectory), "share/korvelt/Korvelt.sf2");
    if (file::exists(installed))
        return installed;
    if (file::exists(kSystemGeneralMidiBank))
        return kSystemGeneralMidiBank;
    return besideProgram;
}

std::string helpPagePath(const std::string& programDirectory) {
    const std::string besideProgram = path::join(programDirectory, "Help.htm");
    if (file::exists(besideProgram))
        return besideProgram;
    const std::string installed =
        path::join(path::directoryOrEmpty(programDirectory), "share/korvelt/Help.htm");
    if (file::exists(installed))
        return installed;
    return besideProgram;
}

void loadSettingsFromText(Settings& settings, const AppDirectories& dirs, std::string_view text) {
    settings.setDefaults();
    std::string bank = ini::valueIn(text, kFilesSection, kSoundBankKey, path::kMaxPath);
    if (bank.empty())
        settings.defaultSoundBank = builtInSoundBank(dirs.programDirectory);
    else
        settings.defaultSoundBank = resolveStored(std::move(bank), dirs.programDirectory);

    std::string output = ini::valueIn(text, kFilesSection, kOutputFileKey, path::kMaxPath);
    if (output.empty())
        output = "Korvelt.wav";
    settings.defaultOutputFile = resolveStored(std::move(output), dirs.tempDirectory);
}

std::optional<FileProblem> loadSettings(Settings& settings, const AppDirectories& dirs,
                                        const std::string& iniPath) {
    // A file that cannot be read counts as empty; only a missing one is no problem.
    std::string text;
    std::optional<FileProblem> problem;
    if (!file::readWhole(iniPath, text)) {
        if (errno != ENOENT)
            problem = file::problem(iniPath, "");
        text.clear();
    }
    loadSettingsFromText(settings, dirs, text);
    return problem;
}

std::optional<FileProblem> saveDefaultFiles(const Settings& settings, const std::string& iniPath) {
    FileProblem problem;
    if (!ini::writeString(iniPath, kFilesSection, kOutputFileKey, settings.defaultOutputFile,
                          &problem) ||
        !ini::writeString(iniPath, kFilesSection, kSoundBankKey, settings.defaultSoundBank,
                          &problem))
        return problem;
    return std::nullopt;
}

} // namespace korvelt
