#include "app/cli/Commands.h"

#include "app/SettingsFile.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"

#include <cstdio>

namespace korvelt::cli {

int usageError(const std::string& command, const std::string& what, const std::string& usage) {
    std::fprintf(stderr, "korvelt-cli %s: %s\n%sRun 'korvelt-cli %s --help' for more.\n",
                 command.c_str(), what.c_str(), usage.c_str(), command.c_str());
    return kExitUsage;
}

void loadCommandLineSettings(Settings& settings, const AppDirectories& dirs, Notifier& notifier) {
    const std::string path = settingsFilePathFromEnvironment(dirs);
    if (auto problem = loadSettings(settings, dirs, path))
        notifier.showFileProblem(Severity::Warning, msg::kSettingsFileErrorTitle,
                                 msg::kSettingsNotReadText, *problem);
}

} // namespace korvelt::cli
