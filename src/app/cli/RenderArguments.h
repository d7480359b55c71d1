#pragma once

#include "app/cli/OptionParser.h"

#include <functional>
#include <string>
#include <vector>

namespace korvelt {
struct Settings;
}

namespace korvelt::cli {

// The command-line options that shape every render (tempo, transposition, effects, volume,
// rescale, MIDI error messages), shared by the commands that render: taken from the
// arguments, then applied to the Settings in their order.
class RenderArguments {
public:
    enum class Taken { No, Yes, Error };

    // Takes the current option of `parser` when it is a render option, with its value
    // (the next argument or the part after "="). On Error, `error` says why.
    Taken take(OptionParser& parser, std::string& error);
    // Sets the options given, in their order.
    void applyTo(Settings& settings) const;

    // Their lines in a command's help.
    static const char* const kHelp;

private:
    std::vector<std::function<void(Settings&)>> settings_;
};

} // namespace korvelt::cli
