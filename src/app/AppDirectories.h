#pragma once

#include <optional>
#include <string>

namespace korvelt {

// The three directories the program computes once at start.
struct AppDirectories {
    std::string programDirectory; // the directory of the running executable
    std::string startupDirectory; // the current directory at start
    std::string tempDirectory;    // TMP, else TMPDIR, else the start-up directory

    // From explicit values (tests).
    static AppDirectories make(std::string programDirectory, std::string startupDirectory,
                               std::optional<std::string> tmp, std::optional<std::string> tmpdir);
    // From the running process and its environment.
    static AppDirectories fromProcess();
};

} // namespace korvelt
