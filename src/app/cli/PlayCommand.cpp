#include "app/ControlIds.h"
#include "app/MainWindowLogic.h"
#include "app/RenderEngine.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "app/UiDispatcher.h"
#include "app/cli/Commands.h"
#include "app/cli/ConsoleView.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/OptionParser.h"
#include "platform/Path.h"

#if KORVELT_HAVE_SDL
#include "platform/SdlWaveOut.h"
#endif

#include <cstdio>

namespace korvelt::cli {
namespace {

const char* const kPlayUsage =
    "Usage: korvelt-cli play [-q] FILE.wav\n"
    "Plays a 16-bit stereo PCM WAVE file (with the canonical 44-byte header, as korvelt\n"
    "writes it) through the default sound output at the file's own rate. Ctrl-C stops it.\n"
    "\n"
    "  -q, --quiet   no progress bar\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 when the file was played to its end, 1 when it is missing or not a\n"
    "playable WAVE file, the output device is not available, or playback was stopped;\n"
    "2 for bad usage.\n";

int usageError(const std::string& what) {
    return cli::usageError("play", what, "Usage: korvelt-cli play [-q] FILE.wav\n");
}

} // namespace

int runPlay(const std::vector<std::string>& args) {
    std::string file;
    bool quiet = false;
    OptionParser parser(args);
    while (parser.next()) {
        const std::string& name = parser.name();
        if (!parser.isOption()) {
            if (!file.empty())
                return usageError("unexpected operand '" + name + "'");
            file = name;
        } else if ((name == "-h" || name == "--help") && !parser.hasInlineValue()) {
            std::fputs(kPlayUsage, stdout);
            return kExitOk;
        } else if ((name == "-q" || name == "--quiet") && !parser.hasInlineValue()) {
            quiet = true;
        } else if (name == "--help" || name == "--quiet") {
            return usageError("option '" + name + "' takes no value");
        } else {
            return usageError("unknown option '" + name + "'");
        }
    }
    if (file.empty())
        return usageError("missing FILE.wav");

#if KORVELT_HAVE_SDL
    // The watcher comes before SDL's audio thread, which then leaves Ctrl-C to it.
    InterruptWatcher interrupts({});
    QueueDispatcher dispatcher;
    ConsoleView view(!quiet && stderrIsTerminal(), "Playing " + path::fileName(file));
    ConsoleNotifier notifier(dispatcher, view);
    Settings settings;
    const AppDirectories dirs = AppDirectories::fromProcess();
    RenderEngine engine(settings.render);
    SdlWaveOut device(
        [&dispatcher](std::function<void()> call) { dispatcher.post(std::move(call)); });
    MainWindowLogic window(settings, dirs, settingsFilePathFromEnvironment(dirs), notifier,
                           dispatcher, view, engine, device);
    window.flow().setAdvice(Advice::CommandLine);

    // The window's Listen on the named file; its checks report a missing or damaged file
    // and a busy device.
    window.flow().setOutputFile(file);
    window.command(control::kListen);
    if (window.runState() != RunState::Listening)
        return kExitFailure;
    dispatcher.processUntil([&] {
        if (interrupts.interrupted() && window.runState() == RunState::Listening)
            window.command(control::kListen); // Stop
        return window.runState() != RunState::Listening;
    });
    view.finishLine();
    if (interrupts.interrupted()) {
        std::fprintf(stderr, "korvelt-cli: playback stopped\n");
        return kExitFailure;
    }
    return kExitOk;
#else
    (void)quiet;
    std::fprintf(stderr, "korvelt-cli play: this program was built without sound output\n");
    return kExitFailure;
#endif
}

} // namespace korvelt::cli
