#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace korvelt {

// The icon a message is shown with.
enum class Severity { Warning, Error };

// Where the program's messages go: a modal message box in the desktop program, standard
// error on the command line, a recorder in tests. show() blocks until the message has
// been dismissed; it may be called from the render thread.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void show(Severity severity, const std::string& title, const std::string& text) = 0;
};

// Prints each message as one block on standard error: the title, ": ", then the text
// with its line breaks.
class StderrNotifier final : public Notifier {
public:
    void show(Severity severity, const std::string& title, const std::string& text) override;

private:
    std::mutex mutex_;
};

// Keeps every message, in order, for tests to inspect.
class RecordingNotifier final : public Notifier {
public:
    struct Message {
        Severity severity;
        std::string title;
        std::string text;
        bool operator==(const Message&) const = default;
    };

    void show(Severity severity, const std::string& title, const std::string& text) override;

    std::vector<Message> messages() const;
    std::vector<std::string> titles() const;
    std::vector<std::string> texts() const;
    size_t count() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

} // namespace korvelt
