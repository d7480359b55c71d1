#include "app/ConversionFlow.h"
#include "app/RenderEngine.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "app/UiDispatcher.h"
#include "app/cli/Commands.h"
#include "app/cli/ConsoleView.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/OptionParser.h"
#include "platform/Notifier.h"
#include "platform/Path.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>

namespace korvelt::cli {
namespace {

const char* const kConvertUsage =
    "Usage: korvelt-cli convert [OPTIONS] MIDI\n"
    "Renders a MIDI file (.mid, .midi, .kar) into a 16-bit stereo 44100 Hz WAVE file.\n"
    "\n"
    "Files:\n"
    "  -b, --bank FILE            sound bank (.sf2 or .csf; default: the default sound bank)\n"
    "  -o, --output FILE          WAVE file (default: the MIDI file's name with .wav)\n"
    "\n"
    "Options (defaults in brackets):\n"
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
    "  --show-midi-errors         report errors in the MIDI file and the sound bank\n"
    "\n"
    "Mixer (MIDI channels 1-16):\n"
    "  --mute LIST                mute channels, e.g. --mute 2,10\n"
    "  --solo CHANNEL             mute every other channel\n"
    "  --channel-volume CH=DB     channel volume in whole dB (-25..25), repeatable\n"
    "\n"
    "  -q, --quiet                no progress bar and no summary\n"
    "  -h, --help                 show this help\n"
    "\n"
    "Exit status: 0 when the WAVE file was written, 1 when a check, a read, a write or the\n"
    "rescale failed (or the conversion was interrupted), 2 for bad usage.\n";

// One option that sets a Settings field from a number within a range.
struct NumericOption {
    const char* name;
    double low;
    double high;
    bool integer;
    std::function<void(Settings&, double)> apply;
};

const std::vector<NumericOption>& numericOptions() {
    static const std::vector<NumericOption> options = {
        {"--tempo", -99, 1000, true, [](Settings& s, double v) { s.tempoPercent = int(v); }},
        {"--transpose", -127, 127, true,
         [](Settings& s, double v) { s.transposeSemitones = int(v); }},
        {"--reverb-room", 0, 1, false, [](Settings& s, double v) { s.reverbRoomSize = float(v); }},
        {"--reverb-damping", 0, 100, true, [](Settings& s, double v) { s.reverbDamping = int(v); }},
        {"--reverb-amount", -1, 1, false, [](Settings& s, double v) { s.reverbAmount = float(v); }},
        {"--chorus-amount", -1, 1, false, [](Settings& s, double v) { s.chorusAmount = float(v); }},
        {"--master-volume", -20, 20, true,
         [](Settings& s, double v) { s.masterVolumeDb = int(v); }},
        {"--compressor", 0, 20, true, [](Settings& s, double v) { s.compressorLevel = int(v); }},
        {"--delay-time", 1, 1000, true, [](Settings& s, double v) { s.delayTimeMs = int(v); }},
        {"--delay-modulation", 0, 20, true,
         [](Settings& s, double v) { s.delayModulationMs = int(v); }},
        {"--delay-feedback", 0, 0.9, false,
         [](Settings& s, double v) { s.delayFeedback = float(v); }},
        {"--delay-amount", 0, 1, false, [](Settings& s, double v) { s.delayAmount = float(v); }},
        {"--delay-spread", 0, 40, true,
         [](Settings& s, double v) { s.delayStereoSpreadMs = int(v); }},
    };
    return options;
}

struct ConvertArguments {
    std::string midi;
    std::string bank;
    std::string output;
    bool quiet = false;
    std::vector<std::function<void(Settings&)>> settings; // in the order given
    std::vector<int> muted;                               // channel indices
    int solo = -1;
    std::vector<std::pair<int, int>> volumes; // channel index, centibels
};

int usageError(const std::string& what) {
    std::fprintf(stderr, "korvelt-cli convert: %s\nRun 'korvelt-cli convert --help' for usage.\n",
                 what.c_str());
    return kExitUsage;
}

std::optional<int> parseChannel(const std::string& text) {
    auto n = parseInteger(text);
    if (!n || *n < 1 || *n > 16)
        return std::nullopt;
    return int(*n - 1);
}

// Parses the arguments; returns an exit status when the command is to end at once.
std::optional<int> parseArguments(const std::vector<std::string>& args, ConvertArguments& out) {
    OptionParser parser(args);
    while (parser.next()) {
        const std::string name = parser.name();
        if (!parser.isOption()) {
            if (!out.midi.empty())
                return usageError("more than one MIDI file given ('" + name + "')");
            out.midi = name;
            continue;
        }
        if (name == "-h" || name == "--help") {
            std::fputs(kConvertUsage, stdout);
            return kExitOk;
        }
        if (name == "-q" || name == "--quiet" || name == "--no-rescale" ||
            name == "--show-midi-errors") {
            if (parser.hasInlineValue())
                return usageError("option " + name + " takes no value");
            if (name == "--no-rescale")
                out.settings.push_back([](Settings& s) { s.rescaleOutput = false; });
            else if (name == "--show-midi-errors")
                out.settings.push_back([](Settings& s) { s.showMidiErrors = true; });
            else
                out.quiet = true;
            continue;
        }
        auto value = parser.value();
        if (!value)
            return usageError("option " + name + " needs a value");
        if (name == "-b" || name == "--bank") {
            out.bank = *value;
        } else if (name == "-o" || name == "--output") {
            out.output = *value;
        } else if (name == "--mute") {
            std::stringstream list(*value);
            std::string item;
            while (std::getline(list, item, ',')) {
                auto channel = parseChannel(item);
                if (!channel)
                    return usageError("--mute: '" + item + "' is not a MIDI channel 1-16");
                out.muted.push_back(*channel);
            }
        } else if (name == "--solo") {
            auto channel = parseChannel(*value);
            if (!channel)
                return usageError("--solo: '" + *value + "' is not a MIDI channel 1-16");
            out.solo = *channel;
        } else if (name == "--channel-volume") {
            const auto eq = value->find('=');
            auto channel = parseChannel(value->substr(0, eq));
            auto db = eq == std::string::npos ? std::nullopt : parseInteger(value->substr(eq + 1));
            if (!channel || !db)
                return usageError("--channel-volume: '" + *value +
                                  "' is not CHANNEL=DB (channel 1-16, whole dB)");
            if (*db < -25 || *db > 25)
                return usageError("--channel-volume: " + std::to_string(*db) +
                                  " dB is outside -25..25");
            out.volumes.emplace_back(*channel, int(*db) * 10);
        } else {
            const NumericOption* option = nullptr;
            for (const auto& o : numericOptions())
                if (name == o.name)
                    option = &o;
            if (option == nullptr)
                return usageError("unknown option " + name);
            std::optional<double> number;
            if (!option->integer)
                number = parseNumber(*value);
            else if (auto n = parseInteger(*value))
                number = double(*n);
            if (!number)
                return usageError(name + ": '" + *value + "' is not " +
                                  (option->integer ? "a whole number" : "a number"));
            if (*number < option->low || *number > option->high) {
                std::ostringstream range;
                range << name << ": " << *value << " is outside " << option->low << ".."
                      << option->high;
                return usageError(range.str());
            }
            const double v = *number;
            auto apply = option->apply;
            out.settings.push_back([apply, v](Settings& s) { apply(s, v); });
        }
    }
    if (out.midi.empty())
        return usageError("no MIDI file given");
    return std::nullopt;
}

} // namespace

int runConvert(const std::vector<std::string>& args) {
    ConvertArguments arguments;
    if (auto status = parseArguments(args, arguments))
        return *status;

    Settings settings;
    const AppDirectories dirs = AppDirectories::fromProcess();
    loadSettings(settings, dirs, settingsFilePathFromEnvironment(dirs));
    for (const auto& apply : arguments.settings)
        apply(settings);
    const std::string bank = arguments.bank.empty() ? settings.defaultSoundBank : arguments.bank;
    const std::string output = arguments.output.empty()
                                   ? path::withoutExtension(arguments.midi) + ".wav"
                                   : arguments.output;

    StderrNotifier notifier;
    RenderEngine engine(settings, notifier);
    InterruptWatcher interrupts([&engine] { engine.abortRequested = true; });
    QueueDispatcher dispatcher;
    ConsoleView view(!arguments.quiet && stderrIsTerminal(),
                     "Converting " + path::fileName(arguments.midi));
    ConversionFlow flow(settings, notifier, dispatcher, view, engine);

    flow.setSoundBank(bank, path::equalsIgnoreCase(path::extension(bank), ".csf"));
    flow.setOutputFile(output);
    if (!flow.loadMidiFile(arguments.midi))
        return kExitFailure;
    // Loading a file resets the mixer; the mixer options apply to the loaded file.
    for (int channel : arguments.muted)
        settings.mixer[std::size_t(channel)].muted = true;
    if (arguments.solo >= 0)
        for (int i = 0; i < kMidiChannels; ++i)
            settings.mixer[std::size_t(i)].muted = i != arguments.solo;
    for (auto [channel, cB] : arguments.volumes)
        settings.mixer[std::size_t(channel)].volumeCb = cB;

    const auto started = std::chrono::steady_clock::now();
    if (!flow.startConversion())
        return kExitFailure;
    flow.waitForRender();
    view.finishLine();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const auto& outcome = flow.lastOutcome();
    if (outcome.aborted || interrupts.interrupted()) {
        std::fprintf(stderr, "korvelt-cli: conversion interrupted; %s is incomplete\n",
                     output.c_str());
        return kExitFailure;
    }
    if (!outcome.writeOk || !outcome.rescaleOk)
        return kExitFailure;
    if (!arguments.quiet)
        std::fprintf(stderr, "Wrote %s: %.1f s of audio in %.2f s (%.0fx real time)\n",
                     output.c_str(), outcome.seconds, wall,
                     wall > 0 ? outcome.seconds / wall : 0.0);
    return kExitOk;
}

} // namespace korvelt::cli
