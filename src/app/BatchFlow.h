#pragma once

#include "app/BatchFile.h"
#include "platform/FileProblem.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvelt {

class ConversionFlow;
class MainView;
class Notifier;
class RenderEngine;

// The Batch command: a batch file is chosen, read and checked whole; only when every line
// is good do its jobs run, one after the other, each a full conversion with its own bank,
// MIDI file and output file. The progress bar shows the share of jobs done. The same
// button aborts the run.
class BatchFlow {
public:
    BatchFlow(ConversionFlow& flow, MainView& view, Notifier& notifier, RenderEngine& engine,
              std::string startupDirectory);

    // The Batch button: choose and run a batch file when idle, abort a running batch.
    void command();
    // Reads, parses and starts the batch file at `path` (the steps after the file dialog),
    // when idle. Returns whether the run started (its first job may still fail to start).
    bool run(const std::string& path);

    // The largest batch file read: 64 MiB, some hundred thousand lines. A larger file
    // gets the message of a file that cannot be read.
    static constexpr std::int64_t kMaxFileBytes = std::int64_t(64) << 20;

    // Keep going past failing jobs (the command line's --keep-going): a job whose bank or
    // MIDI file cannot be loaded, whose output cannot be created or written, is reported
    // and skipped, and the other jobs run. The files a line names are then not checked
    // while parsing: a missing one fails its job. Without it the first failing job ends
    // the batch, and a line naming a missing file stops the parse.
    void setKeepGoing(bool keepGoing);

    // A job of the current (or last) run that failed, and why (for a summary).
    struct Failure {
        int job; // 0-based
        std::string reason;
    };
    const std::vector<Failure>& failures() const noexcept { return failures_; }

    const BatchFile& file() const noexcept { return file_; }
    int jobsDone() const noexcept { return jobsDone_; }
    int jobCount() const noexcept { return static_cast<int>(file_.jobs().size()); }
    // The job being rendered (-1 when no batch runs).
    int currentJob() const noexcept { return current_; }

private:
    // Starts the current job, or with keep-going the first one after it that starts;
    // ends the batch when none does.
    void startBatchJob();
    // Sets up and starts the current job; false (after its messages) when it cannot start.
    bool tryStartJob();
    void continueBatch();
    void endBatch();
    void jobError(const std::string& text, const std::string& reason);
    void batchFileError(const std::string& text, const FileProblem& problem);

    ConversionFlow& flow_;
    MainView& view_;
    Notifier& notifier_;
    RenderEngine& engine_;
    std::string startupDirectory_;
    BatchFile file_;
    int jobsDone_ = 0;
    int current_ = -1;
    bool keepGoing_ = false;
    std::vector<Failure> failures_;
};

} // namespace korvelt
