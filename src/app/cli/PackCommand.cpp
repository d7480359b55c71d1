#include "app/cli/Commands.h"

#include <cstdio>

namespace korvelt::cli {

// Placeholder until the packer lands.
int runPack(const std::vector<std::string>&) {
    std::fputs("korvelt-cli: not available yet\n", stderr);
    return kExitFailure;
}

} // namespace korvelt::cli
