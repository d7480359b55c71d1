#include "app/cli/Commands.h"

#include "platform/Path.h"

#include <cstdio>

namespace korvelt::cli {

int runInfo(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "-h" || args[0] == "--help")) {
        std::fputs(
            "Usage: korvelt-cli info FILE\n"
            "Describes a MIDI file (.mid, .midi, .kar, .rmi) or a sound bank (.sf2, .csf).\n",
            stdout);
        return kExitOk;
    }
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
        std::fputs("Usage: korvelt-cli info FILE\n", stderr);
        return kExitUsage;
    }
    const std::string ext = path::extension(args[0]);
    if (path::equalsIgnoreCase(ext, ".sf2") || path::equalsIgnoreCase(ext, ".csf"))
        return runBankInfo(args[0]);
    return runMidiInfo(args[0]);
}

} // namespace korvelt::cli
