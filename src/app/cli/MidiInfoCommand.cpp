#include "app/cli/Commands.h"

#include <cstdio>

namespace korvelt::cli {

// Placeholder until the reader lands.
int runMidiInfo(const std::string&) {
    std::fputs("korvelt-cli: not available yet\n", stderr);
    return kExitFailure;
}

} // namespace korvelt::cli
