#include "app/BatchFlow.h"
#include "app/ConversionFlow.h"
#include "app/RenderEngine.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "app/UiDispatcher.h"
#include "app/cli/Commands.h"
#include "app/cli/ConsoleView.h"
#include "app/cli/InterruptWatcher.h"
#include "app/cli/OptionParser.h"
#include "app/cli/RenderOptions.h"

#include <cstdio>

namespace korvelt::cli {
namespace {

const char* const kBatchUsage =
    "Usage: korvelt-cli batch [OPTIONS] FILE\n"
    "Converts every job of a batch file, one after the other. Each line of the file names a\n"
    "sound bank, an output WAVE file and a MIDI file, separated by spaces (names holding\n"
    "spaces in double quotes); empty lines and lines starting with ';' are skipped. The whole\n"
    "file is checked before the first job runs.\n"
    "\n"
    "Options (defaults in brackets), for every job:\n";

const char* const kBatchUsageEnd =
    "\n"
    "  -q, --quiet                no progress bar and no line per job\n"
    "  -h, --help                 show this help\n"
    "\n"
    "Exit status: 0 when every job was written, 1 when the file could not be read or checked,\n"
    "a job failed or the batch was interrupted, 2 for bad usage.\n";

int usageError(const std::string& what) {
    std::fprintf(stderr, "korvelt-cli batch: %s\nRun 'korvelt-cli batch --help' for usage.\n",
                 what.c_str());
    return kExitUsage;
}

} // namespace

int runBatch(const std::vector<std::string>& args) {
    std::string batchFile;
    bool quiet = false;
    RenderOptions render;
    OptionParser parser(args);
    while (parser.next()) {
        const std::string name = parser.name();
        if (!parser.isOption()) {
            if (!batchFile.empty())
                return usageError("more than one batch file given ('" + name + "')");
            batchFile = name;
            continue;
        }
        if (name == "-h" || name == "--help") {
            std::fputs(kBatchUsage, stdout);
            std::fputs(RenderOptions::kHelp, stdout);
            std::fputs(kBatchUsageEnd, stdout);
            return kExitOk;
        }
        if ((name == "-q" || name == "--quiet") && !parser.hasInlineValue()) {
            quiet = true;
            continue;
        }
        std::string error;
        const RenderOptions::Taken taken = render.take(parser, error);
        if (taken == RenderOptions::Taken::Error)
            return usageError(error);
        if (taken == RenderOptions::Taken::No)
            return usageError("unknown option " + name);
    }
    if (batchFile.empty())
        return usageError("no batch file given");

    Settings settings;
    const AppDirectories dirs = AppDirectories::fromProcess();
    loadSettings(settings, dirs, settingsFilePathFromEnvironment(dirs));
    render.applyTo(settings);

    // Ctrl-C only raises a flag; the user-interface loop below turns it into an abort.
    InterruptWatcher interrupts({});
    QueueDispatcher dispatcher;
    ConsoleView view(!quiet && stderrIsTerminal(), "Batch");
    ConsoleNotifier notifier(dispatcher, view);
    RenderEngine engine(settings, notifier);
    ConversionFlow flow(settings, notifier, dispatcher, view, engine);
    BatchFlow batch(flow, view, notifier, engine, dirs.startupDirectory);

    int written = 0;
    flow.renderFinishedHook = [&] {
        const ConversionFlow::Outcome& outcome = flow.lastOutcome();
        const bool complete = outcome.writeOk && outcome.rescaleOk && !outcome.aborted;
        if (complete)
            ++written;
        if (quiet)
            return;
        view.finishLine();
        const int job = batch.currentJob() + 1;
        const std::string& output = flow.currentOutputFile();
        if (complete)
            std::fprintf(stderr, "Job %d of %d: wrote %s (%.1f s of audio)\n", job,
                         batch.jobCount(), output.c_str(), outcome.seconds);
        else
            std::fprintf(stderr, "Job %d of %d: %s is incomplete\n", job, batch.jobCount(),
                         output.c_str());
    };

    const int messagesBefore = notifier.count();
    if (!batch.run(batchFile)) {
        // Nothing ran: a file that could not be read or checked has said why.
        if (notifier.count() != messagesBefore)
            return kExitFailure;
        if (!quiet)
            std::fprintf(stderr, "korvelt-cli: %s holds no job\n", batchFile.c_str());
        return kExitOk;
    }
    dispatcher.processUntil([&] {
        if (interrupts.interrupted())
            engine.abortRequested = true; // also when it came before the batch cleared it
        return flow.runState() == RunState::Idle && !flow.renderRunning();
    });
    flow.waitForRender();
    view.finishLine();

    if (interrupts.interrupted()) {
        std::fprintf(stderr, "korvelt-cli: batch interrupted; %d of %d jobs written\n", written,
                     batch.jobCount());
        return kExitFailure;
    }
    return written == batch.jobCount() ? kExitOk : kExitFailure;
}

} // namespace korvelt::cli
