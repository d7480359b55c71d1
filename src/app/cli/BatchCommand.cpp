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
#include "app/cli/RenderArguments.h"

#include <cstdio>
#include <string>
#include <vector>

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
    "  -k, --keep-going           report a job whose bank or MIDI file is missing or cannot\n"
    "                             be loaded, or whose WAVE file cannot be created or\n"
    "                             written, skip it and run the others; a summary closes the\n"
    "                             run (without it the first failing job ends the batch)\n"
    "  -q, --quiet                no progress bar and no line per job\n"
    "  -h, --help                 show this help\n"
    "\n"
    "Exit status: 0 when every job was written, 1 when the file could not be read or checked,\n"
    "a job failed or the batch was interrupted, 2 for bad usage.\n";

const char* const kBatchUsageLine = "Usage: korvelt-cli batch [OPTIONS] FILE\n";

int usageError(const std::string& what) {
    return cli::usageError("batch", what, kBatchUsageLine);
}

// "2 of 3 jobs written; job 2 failed: REASON; job 3 failed: REASON".
std::string summary(int written, int jobs, const std::vector<BatchFlow::Failure>& failures) {
    std::string text = std::to_string(written) + " of " + std::to_string(jobs) + " job" +
                       (jobs == 1 ? "" : "s") + " written";
    for (const BatchFlow::Failure& f : failures)
        text += "; job " + std::to_string(f.job + 1) + " failed: " + f.reason;
    return text;
}

} // namespace

int runBatch(const std::vector<std::string>& args) {
    std::string batchFile;
    bool quiet = false;
    bool keepGoing = false;
    RenderArguments render;
    OptionParser parser(args);
    while (parser.next()) {
        const std::string name = parser.name();
        if (!parser.isOption()) {
            if (!batchFile.empty())
                return usageError("unexpected operand '" + name + "'");
            batchFile = name;
            continue;
        }
        const bool flag = !parser.hasInlineValue();
        if ((name == "-h" || name == "--help") && flag) {
            std::fputs(kBatchUsage, stdout);
            std::fputs(RenderArguments::kHelp, stdout);
            std::fputs(kBatchUsageEnd, stdout);
            return kExitOk;
        }
        if ((name == "-q" || name == "--quiet") && flag) {
            quiet = true;
            continue;
        }
        if ((name == "-k" || name == "--keep-going") && flag) {
            keepGoing = true;
            continue;
        }
        if (name == "--quiet" || name == "--keep-going" || name == "--help")
            return usageError("option '" + name + "' takes no value");
        std::string error;
        const RenderArguments::Taken taken = render.take(parser, error);
        if (taken == RenderArguments::Taken::Error)
            return usageError(error);
        if (taken == RenderArguments::Taken::No)
            return usageError("unknown option '" + name + "'");
    }
    if (batchFile.empty())
        return usageError("missing FILE");

    // Ctrl-C only raises a flag; the user-interface loop below turns it into an abort.
    InterruptWatcher interrupts({});
    QueueDispatcher dispatcher;
    ConsoleView view(!quiet && stderrIsTerminal(), "Batch");
    ConsoleNotifier notifier(dispatcher, view);

    Settings settings;
    const AppDirectories dirs = AppDirectories::fromProcess();
    loadCommandLineSettings(settings, dirs, notifier);
    render.applyTo(settings);
    if (settings.render.showMidiErrors)
        notifier.gatherDataProblems();

    RenderEngine engine(settings.render);
    ConversionFlow flow(settings, notifier, dispatcher, view, engine);
    flow.setAdvice(Advice::CommandLine);
    BatchFlow batch(flow, view, notifier, engine, dirs.startupDirectory);
    batch.setKeepGoing(keepGoing);

    int written = 0;
    flow.renderFinishedHook = [&] {
        const ConversionFlow::Outcome& outcome = flow.lastOutcome();
        const bool complete = outcome.writeOk && outcome.rescaleOk && !outcome.aborted;
        if (complete)
            ++written;
        view.finishLine();
        notifier.printDataProblemSummary();
        if (quiet)
            return;
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
    const bool allWritten = written == batch.jobCount();
    // A run that lost a job says which and why; one that kept going always closes with
    // its count.
    if (!allWritten || (keepGoing && !quiet))
        std::fprintf(stderr, "korvelt-cli: %s\n",
                     summary(written, batch.jobCount(), batch.failures()).c_str());
    return allWritten ? kExitOk : kExitFailure;
}

} // namespace korvelt::cli
