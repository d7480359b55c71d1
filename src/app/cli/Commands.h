#pragma once

#include <string>
#include <vector>

namespace korvelt {
struct AppDirectories;
class Notifier;
struct Settings;
} // namespace korvelt

namespace korvelt::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1; // a check, a read, a write or a rescale failed
inline constexpr int kExitUsage = 2;   // bad usage or an out-of-range value

// Each command gets the arguments after its name and returns the exit status.
int runInfo(const std::vector<std::string>& args);
int runPack(const std::vector<std::string>& args);
int runConvert(const std::vector<std::string>& args);
int runBatch(const std::vector<std::string>& args);
int runPlay(const std::vector<std::string>& args);

// A usage error: "korvelt-cli COMMAND: WHAT", then the command's usage line and where its
// help is, on standard error. Returns kExitUsage.
int usageError(const std::string& command, const std::string& what, const std::string& usage);

// The settings with their defaults and the default files of the settings file (found as
// the environment says); a settings file that exists but cannot be read is reported.
void loadCommandLineSettings(Settings& settings, const AppDirectories& dirs, Notifier& notifier);

// `info` for one file of each kind.
int runMidiInfo(const std::string& path);
int runBankInfo(const std::string& path);

} // namespace korvelt::cli
