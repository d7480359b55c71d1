#pragma once

#include <string>
#include <vector>

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

// `info` for one file of each kind.
int runMidiInfo(const std::string& path);
int runBankInfo(const std::string& path);

} // namespace korvelt::cli
