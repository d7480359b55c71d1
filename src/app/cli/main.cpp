#include "app/cli/Commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef KORVELT_VERSION
#define KORVELT_VERSION "1.9"
#endif

namespace {

const char* const kUsage =
    "Usage: korvelt-cli COMMAND [ARGS]\n"
    "\n"
    "Commands:\n"
    "  info FILE               describe a MIDI file (.mid, .midi, .kar, .rmi) or a sound bank\n"
    "                          (.sf2, .sf3, .csf)\n"
    "  convert [OPTIONS] MIDI  render a MIDI file into a WAVE file\n"
    "  batch [OPTIONS] FILE    convert every job of a batch file\n"
    "  pack IN.sf2 OUT.csf     write a compressed bank from a SoundFont bank (.sf2, .sf3)\n"
    "  play FILE.wav           play a WAVE file through the sound output\n"
    "\n"
    "Options:\n"
    "  -h, --help              show this help and exit\n"
    "  -V, --version           show the version and exit\n"
    "\n"
    "Run 'korvelt-cli COMMAND --help' for the options of a command.\n";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fprintf(stderr, "korvelt-cli: missing COMMAND\n\n%s", kUsage);
        return korvelt::cli::kExitUsage;
    }
    const std::string command = args.front();
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "-V" || command == "--version") {
        std::printf("korvelt-cli %s\n", KORVELT_VERSION);
        return 0;
    }
    args.erase(args.begin());
    if (command == "info")
        return korvelt::cli::runInfo(args);
    if (command == "convert")
        return korvelt::cli::runConvert(args);
    if (command == "batch")
        return korvelt::cli::runBatch(args);
    if (command == "pack")
        return korvelt::cli::runPack(args);
    if (command == "play")
        return korvelt::cli::runPlay(args);
    std::fprintf(stderr, "korvelt-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return korvelt::cli::kExitUsage;
}
