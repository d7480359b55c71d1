#pragma once

#include "app/BatchFile.h"

#include <cstdint>
#include <string>

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

    const BatchFile& file() const noexcept { return file_; }
    int jobsDone() const noexcept { return jobsDone_; }
    int jobCount() const noexcept { return static_cast<int>(file_.jobs().size()); }
    // The job being rendered (-1 when no batch runs).
    int currentJob() const noexcept { return current_; }

private:
    void startBatchJob();
    void continueBatch();
    void endBatch();
    void jobError(const std::string& text);

    ConversionFlow& flow_;
    MainView& view_;
    Notifier& notifier_;
    RenderEngine& engine_;
    std::string startupDirectory_;
    BatchFile file_;
    int jobsDone_ = 0;
    int current_ = -1;
};

} // namespace korvelt
