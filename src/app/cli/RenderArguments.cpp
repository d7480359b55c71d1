#include "app/cli/RenderArguments.h"

#include "app/Settings.h"

#include <array>
#include <sstream>

namespace korvelt::cli {
namespace {

// One option that sets a Settings field from a number within a range.
struct NumericOption {
    const char* name;
    double low;
    double high;
    bool integer;
    void (*apply)(Settings&, double);
};

constexpr std::array<NumericOption, 13> kNumericOptions{{
    {"--tempo", -99, 1000, true, [](Settings& s, double v) { s.render.tempoPercent = int(v); }},
    {"--transpose", -127, 127, true,
     [](Settings& s, double v) { s.render.transposeSemitones = int(v); }},
    {"--reverb-room", 0, 1, false,
     [](Settings& s, double v) { s.render.reverbRoomSize = float(v); }},
    {"--reverb-damping", 0, 100, true,
     [](Settings& s, double v) { s.render.reverbDamping = int(v); }},
    {"--reverb-amount", -1, 1, false,
     [](Settings& s, double v) { s.render.reverbAmount = float(v); }},
    {"--chorus-amount", -1, 1, false,
     [](Settings& s, double v) { s.render.chorusAmount = float(v); }},
    {"--master-volume", -20, 20, true,
     [](Settings& s, double v) { s.render.masterVolumeDb = int(v); }},
    {"--compressor", 0, 20, true, [](Settings& s, double v) { s.render.compressorLevel = int(v); }},
    {"--delay-time", 1, 1000, true, [](Settings& s, double v) { s.render.delayTimeMs = int(v); }},
    {"--delay-modulation", 0, 20, true,
     [](Settings& s, double v) { s.render.delayModulationMs = int(v); }},
    {"--delay-feedback", 0, 0.9, false,
     [](Settings& s, double v) { s.render.delayFeedback = float(v); }},
    {"--delay-amount", 0, 1, false, [](Settings& s, double v) { s.render.delayAmount = float(v); }},
    {"--delay-spread", 0, 40, true,
     [](Settings& s, double v) { s.render.delayStereoSpreadMs = int(v); }},
}};

} // namespace

const char* const RenderArguments::kHelp =
    "  --tempo PERCENT            tempo change, positive slower, negative faster (-99..1000) [0]\n"
    "  --transpose SEMITONES      half tones added to every key but channel 10's (-127..127) [0]\n"
    "  --reverb-room X            reverb room size, 0 small room .. 1 concert hall [0.5]\n"
    "  --reverb-damping PERCENT   reverb damping (0..100) [50]\n"
    "  --reverb-amount X          added to every voice's reverb send (-1..1) [0]\n"
    "  --chorus-amount X          added to every voice's chorus send (-1..1) [0]\n"
    "  --master-volume DB         master volume (-20..20) [0]\n"
    "  --compressor DB            compressor level, 0 turns it off (0..20) [8]\n"
    "  --delay-time MS            echo delay time (1..1000) [20]\n"
    "  --delay-modulation MS      depth of the delay time's sweep (0..20) [0]\n"
    "  --delay-feedback X         echo feedback (0..0.9) [0]\n"
    "  --delay-amount X           echo share of the output, 0 turns it off (0..1) [0.5]\n"
    "  --delay-spread MS          added to the right channel's delay time (0..40) [8]\n"
    "  --no-rescale               do not rescale the WAVE file to full scale afterwards\n"
    "  --show-midi-errors         report errors in the MIDI file and the sound bank\n";

RenderArguments::Taken RenderArguments::take(OptionParser& parser, std::string& error) {
    const std::string name = parser.name();
    if (name == "--no-rescale" || name == "--show-midi-errors") {
        if (parser.hasInlineValue()) {
            error = "option '" + name + "' takes no value";
            return Taken::Error;
        }
        if (name == "--no-rescale")
            settings_.push_back([](Settings& s) { s.rescaleOutput = false; });
        else
            settings_.push_back([](Settings& s) { s.render.showMidiErrors = true; });
        return Taken::Yes;
    }
    const NumericOption* option = nullptr;
    for (const auto& o : kNumericOptions)
        if (name == o.name)
            option = &o;
    if (option == nullptr)
        return Taken::No;
    const auto value = parser.value();
    if (!value) {
        error = "option '" + name + "' needs a value";
        return Taken::Error;
    }
    std::optional<double> number;
    if (!option->integer)
        number = parseNumber(*value);
    else if (auto n = parseInteger(*value))
        number = double(*n);
    if (!number) {
        error =
            name + ": '" + *value + "' is not " + (option->integer ? "a whole number" : "a number");
        return Taken::Error;
    }
    if (*number < option->low || *number > option->high) {
        std::ostringstream range;
        range << name << ": " << *value << " is outside " << option->low << ".." << option->high;
        error = range.str();
        return Taken::Error;
    }
    const double v = *number;
    const auto apply = option->apply;
    settings_.push_back([apply, v](Settings& s) { apply(s, v); });
    return Taken::Yes;
}

void RenderArguments::applyTo(Settings& settings) const {
    for (const auto& apply : settings_)
        apply(settings);
}

} // namespace korvelt::cli
