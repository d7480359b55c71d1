#include "app/ConversionFlow.h"
#include "app/RenderEngine.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "app/UiDispatcher.h"
#include "app/cli/Commands.h"
#include "app/cli/ConsoleView.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/OptionParser.h"
#include "app/cli/RenderArguments.h"
#include "platform/Notifier.h"
#include "platform/Path.h"

#include <chrono>
#include <cstdio>
#include <sstream>

namespace korvelt::cli {
namespace {

const char* const kConvertUsage =
    "Usage: korvelt-cli convert [OPTIONS] MIDI\n"
    "Renders a MIDI file (.mid, .midi, .kar, .rmi) into a 16-bit stereo 44100 Hz WAVE file.\n"
    "\n"
    "Files:\n"
    "  -b, --bank FILE            sound bank (.sf2, .sf3 or .csf; default: the default sound "
    "bank)\n"
    "  -o, --output FILE          WAVE file (default: the MIDI file's name with .wav)\n"
    "\n"
    "Options (defaults in brackets):\n";

const char* const kConvertUsageEnd =
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

struct ConvertArguments {
    std::string midi;
    std::string bank;
    std::string output;
    bool quiet = false;
    RenderArguments render;
    std::vector<int> muted; // channel indices
    int solo = -1;
    std::vector<std::pair<int, int>> volumes; // channel index, centibels
};

const char* const kConvertUsageLine = "Usage: korvelt-cli convert [OPTIONS] MIDI\n";

int usageError(const std::string& what) {
    return cli::usageError("convert", what, kConvertUsageLine);
}

std::optional<int> parseChannel(const std::string& text) {
    auto n = parseInteger(text);
    if (!n || *n < 1 || *n > 16)
        return std::nullopt;
    return int(*n - 1);
}

// Parses the arguments; returns an exit status when the command is to end at once.
std::optional<int> parseArguments(const std::vector<std::string>& args, ConvertArguments& out) {
    OptionParser parser(args, "bo");
    while (parser.next()) {
        const std::string name = parser.name();
        if (!parser.isOption()) {
            if (!out.midi.empty())
                return usageError("unexpected operand '" + name + "'");
            out.midi = name;
            continue;
        }
        if ((name == "-h" || name == "--help") && !parser.hasInlineValue()) {
            std::fputs(kConvertUsage, stdout);
            std::fputs(RenderArguments::kHelp, stdout);
            std::fputs(kConvertUsageEnd, stdout);
            return kExitOk;
        }
        if (name == "-q" || name == "--quiet") {
            if (parser.hasInlineValue())
                return usageError("option '" + name + "' takes no value");
            out.quiet = true;
            continue;
        }
        std::string error;
        const RenderArguments::Taken taken = out.render.take(parser, error);
        if (taken == RenderArguments::Taken::Error)
            return usageError(error);
        if (taken == RenderArguments::Taken::Yes)
            continue;
        const bool takesValue = name == "-b" || name == "--bank" || name == "-o" ||
                                name == "--output" || name == "--mute" || name == "--solo" ||
                                name == "--channel-volume";
        if (!takesValue)
            return usageError("unknown option '" + name + "'");
        auto value = parser.value();
        if (!value)
            return usageError("option '" + name + "' needs a value");
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
        }
    }
    if (out.midi.empty())
        return usageError("missing MIDI");
    return std::nullopt;
}

} // namespace

int runConvert(const std::vector<std::string>& args) {
    ConvertArguments arguments;
    if (auto status = parseArguments(args, arguments))
        return *status;

    // Ctrl-C only raises a flag; the user-interface loop below turns it into an abort.
    InterruptWatcher interrupts({});
    QueueDispatcher dispatcher;
    ConsoleView view(!arguments.quiet && stderrIsTerminal(),
                     "Converting " + path::fileName(arguments.midi));
    ConsoleNotifier notifier(dispatcher, view);

    Settings settings;
    const AppDirectories dirs = AppDirectories::fromProcess();
    loadCommandLineSettings(settings, dirs, notifier);
    arguments.render.applyTo(settings);
    if (settings.render.showMidiErrors)
        notifier.gatherDataProblems();
    const std::string bank = arguments.bank.empty() ? settings.defaultSoundBank : arguments.bank;
    const std::string output = arguments.output.empty()
                                   ? path::withoutExtension(arguments.midi) + ".wav"
                                   : arguments.output;

    RenderEngine engine(settings.render);
    ConversionFlow flow(settings, notifier, dispatcher, view, engine);
    flow.setAdvice(Advice::CommandLine);

    flow.setSoundBank(bank, path::equalsIgnoreCase(path::extension(bank), ".csf"));
    flow.setOutputFile(output);
    if (!flow.loadMidiFile(arguments.midi))
        return kExitFailure;
    // Loading a file resets the mixer; the mixer options apply to the loaded file.
    for (int channel : arguments.muted)
        settings.render.mixer[std::size_t(channel)].muted = true;
    if (arguments.solo >= 0)
        for (int i = 0; i < kMidiChannels; ++i)
            settings.render.mixer[std::size_t(i)].muted = i != arguments.solo;
    for (auto [channel, cB] : arguments.volumes)
        settings.render.mixer[std::size_t(channel)].volumeCb = cB;

    const auto started = std::chrono::steady_clock::now();
    if (interrupts.interrupted()) {
        std::fputs("korvelt-cli: conversion interrupted\n", stderr);
        return kExitFailure;
    }
    if (!flow.startConversion())
        return kExitFailure;
    dispatcher.processUntil([&] {
        if (interrupts.interrupted())
            engine.abortRequested = true; // also when it came before the run cleared it
        return !flow.renderRunning();
    });
    flow.waitForRender();
    view.finishLine();
    notifier.printDataProblemSummary();
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
