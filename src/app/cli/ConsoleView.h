#pragma once

#include "app/MainView.h"
#include "app/UiDispatcher.h"
#include "platform/Notifier.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace korvelt::cli {

// The main window's view for the command line: control texts and states go nowhere, the
// progress goes to a bar on standard error (only while that is a terminal and not
// silenced), and a file dialog answers with the file named on the command line. A progress
// of 0 after the bar has been drawn is the end of a run (a batch or playback going idle):
// it ends the bar's line instead of drawing an empty bar.
class ConsoleView final : public MainView {
public:
    ConsoleView(bool showProgress, std::string label);
    ~ConsoleView() override;

    void setText(int, const std::string&) override {}
    void setEnabled(int, bool) override {}
    void setProgress(int percent) override;
    void setAcceptDrops(bool) override {}
    std::optional<FileChoice> chooseFile(const FileDialogRequest& request) override;
    void runOptionsDialog() override {}
    void runMixerDialog() override {}
    void runAboutBox() override {}
    bool openHelp(const std::string&) override { return false; }

    // The answer of the next file dialog.
    void answerNextDialog(std::string path) { nextAnswer_ = std::move(path); }
    void setLabel(std::string label) { label_ = std::move(label); }
    // Ends the bar's line, if one is drawn.
    void finishLine();

private:
    bool showProgress_;
    std::string label_;
    std::optional<std::string> nextAnswer_;
    bool lineOpen_ = false;
    bool barShown_ = false; // a bar has been drawn in this run
    int lastPercent_ = -1;
};

// The MIDI and bank data problems of a render, gathered for one summary: each distinct
// message (by channel, title and text) once, with the time of its first occurrence and
// how many times it came. Safe to feed from the render thread while another reads it.
class DataProblemSummary {
public:
    void add(const std::string& title, const std::string& text, const DataPlace& place);
    // The summary, one line per distinct message in the order they first came, after a
    // heading; empty when nothing was gathered. Clears what was gathered.
    std::string take();

private:
    struct Entry {
        int channel;
        std::string title;
        std::string text;
        double firstSeconds;
        long count;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_; // in the order they first came
    std::map<std::tuple<int, std::string, std::string>, std::size_t> index_;
};

// Messages for the terminal: each one a block on standard error (the title, ": ", the
// text), after the progress bar's line has been ended; a file problem comes first as a
// line "korvelt-cli: PATH: REASON". A message raised on another thread (the render
// thread's MIDI and bank errors) is handed to the user-interface thread, and its sender
// waits, as it would for a message box. While gathering, the render's MIDI and bank data
// problems are not shown one by one but kept for a summary.
class ConsoleNotifier final : public Notifier {
public:
    ConsoleNotifier(UiDispatcher& dispatcher, ConsoleView& view)
        : dispatcher_(dispatcher), view_(view) {}

    void show(Severity severity, const std::string& title, const std::string& text) override;
    void showFileProblem(Severity severity, const std::string& title, const std::string& text,
                         const FileProblem& problem) override;
    void showDataProblem(Severity severity, const std::string& title, const std::string& text,
                         const DataPlace& place) override;
    // How many messages have been shown.
    int count() const noexcept { return count_; }

    // Gather the render's data problems for summaries instead of showing each.
    void gatherDataProblems() noexcept { gathering_ = true; }
    // Prints the summary of what was gathered since the last one (nothing when nothing
    // was), on standard error.
    void printDataProblemSummary();

private:
    UiDispatcher& dispatcher_;
    ConsoleView& view_;
    StderrNotifier out_;
    int count_ = 0; // user-interface thread only
    std::atomic<bool> gathering_{false};
    DataProblemSummary summary_;
};

// Whether standard error is a terminal.
bool stderrIsTerminal();

} // namespace korvelt::cli
