#include "app/cli/Commands.h"

#include "app/cli/OptionParser.h"
#include "platform/Path.h"

#include <cstdio>

namespace korvelt::cli {

int runInfo(const std::vector<std::string>& args) {
    const char* const usage = "Usage: korvelt-cli info FILE\n";
    std::string file;
    OptionParser parser(args);
    while (parser.next()) {
        const std::string& name = parser.name();
        if (!parser.isOption()) {
            if (!file.empty())
                return usageError("info", "unexpected operand '" + name + "'", usage);
            file = name;
        } else if ((name == "-h" || name == "--help") && !parser.hasInlineValue()) {
            std::fputs(usage, stdout);
            std::fputs(
                "Describes a MIDI file (.mid, .midi, .kar, .rmi) or a sound bank (.sf2, .sf3, "
                ".csf).\n",
                stdout);
            return kExitOk;
        } else {
            return usageError("info", "unknown option '" + name + "'", usage);
        }
    }
    if (file.empty())
        return usageError("info", "missing FILE", usage);
    const std::string ext = path::extension(file);
    if (path::equalsIgnoreCase(ext, ".sf2") || path::equalsIgnoreCase(ext, ".sf3") ||
        path::equalsIgnoreCase(ext, ".csf"))
        return runBankInfo(file);
    return runMidiInfo(file);
}

} // namespace korvelt::cli
