#include "app/cli/Commands.h"

#include <cstdio>

namespace korvelt::cli {

int runInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fputs("Usage: korvelt-cli info FILE\n", stderr);
        return kExitUsage;
    }
    std::fputs("korvelt-cli: info is not available yet\n", stderr);
    return kExitFailure;
}

} // namespace korvelt::cli
