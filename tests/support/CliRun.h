#pragma once

// Runs the built korvelt-cli (its path is the compile definition KORVELT_CLI) and captures
// its exit status and output.

#include "support/TempDir.h"

#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace korvelt::test {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

// Runs the command line with the given (already quoted) arguments; its output goes through
// files in `dir`.
inline CliRun runCli(const TempDir& dir, const std::string& args) {
    const std::string out = dir.file("stdout.txt");
    const std::string err = dir.file("stderr.txt");
    const std::string command =
        std::string("'") + KORVELT_CLI + "' " + args + " >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TempDir::read(out), TempDir::read(err)};
}

inline std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

} // namespace korvelt::test
