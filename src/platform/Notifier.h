#pragma once

#include "platform/FileProblem.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvelt {

// The icon a message is shown with.
enum class Severity { Warning, Error };

// Where in a render a problem of the MIDI or bank data was met: the MIDI channel (0 ... 15,
// -1 when none is at work) and the time from the start of the performance in seconds.
struct DataPlace {
    int channel = -1;
    double seconds = 0.0;
};

// Where the program's messages go: a modal message box in the desktop program, standard
// error on the command line, a recorder in tests. show() blocks until the message has
// been dismissed; it may be called from the render thread.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void show(Severity severity, const std::string& title, const std::string& text) = 0;

    // A message about a file that could not be opened, read, created, written or renamed;
    // `problem` names the file and the reason. Shown as the message with "PATH: REASON"
    // as its last line, unless the notifier shows it its own way.
    virtual void showFileProblem(Severity severity, const std::string& title,
                                 const std::string& text, const FileProblem& problem) {
        show(severity, title, text + "\n" + problem.line());
    }

    // A problem in the MIDI or bank data met while rendering, at `place`. Shown as any
    // other message, unless the notifier gathers them.
    virtual void showDataProblem(Severity severity, const std::string& title,
                                 const std::string& text, const DataPlace& place) {
        (void)place;
        show(severity, title, text);
    }
};

// Prints each message as one block on standard error: the title, ": ", then the text
// with its line breaks. A file problem comes first as a line of its own:
// "PROGRAM: PATH: REASON".
class StderrNotifier final : public Notifier {
public:
    explicit StderrNotifier(std::string program = "korvelt-cli") : program_(std::move(program)) {}

    void show(Severity severity, const std::string& title, const std::string& text) override;
    void showFileProblem(Severity severity, const std::string& title, const std::string& text,
                         const FileProblem& problem) override;

private:
    std::string program_;
    std::mutex mutex_;
};

// Keeps every message, in order, for tests to inspect.
class RecordingNotifier final : public Notifier {
public:
    struct Message {
        Severity severity;
        std::string title;
        std::string text;
        // The file problem a message was shown with (none for a plain message).
        std::optional<FileProblem> file{};
        bool operator==(const Message&) const = default;
    };

    void show(Severity severity, const std::string& title, const std::string& text) override;
    void showFileProblem(Severity severity, const std::string& title, const std::string& text,
                         const FileProblem& problem) override;

    std::vector<Message> messages() const;
    std::vector<std::string> titles() const;
    std::vector<std::string> texts() const;
    // The file problems of the messages, in order ("PATH: REASON", empty for a message
    // without one).
    std::vector<std::string> fileLines() const;
    size_t count() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

} // namespace korvelt
