#include "platform/Notifier.h"

#include <cstdio>

namespace korvelt {

void StderrNotifier::show(Severity, const std::string& title, const std::string& text) {
    std::lock_guard lock(mutex_);
    std::string block = title + ": " + text;
    if (block.empty() || block.back() != '\n')
        block += '\n';
    std::fwrite(block.data(), 1, block.size(), stderr);
    std::fflush(stderr);
}

void StderrNotifier::showFileProblem(Severity severity, const std::string& title,
                                     const std::string& text, const FileProblem& problem) {
    {
        std::lock_guard lock(mutex_);
        const std::string line = program_ + ": " + problem.line() + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
    show(severity, title, text);
}

void RecordingNotifier::show(Severity severity, const std::string& title, const std::string& text) {
    std::lock_guard lock(mutex_);
    messages_.push_back({severity, title, text, std::nullopt});
}

void RecordingNotifier::showFileProblem(Severity severity, const std::string& title,
                                        const std::string& text, const FileProblem& problem) {
    std::lock_guard lock(mutex_);
    messages_.push_back({severity, title, text, problem});
}

std::vector<std::string> RecordingNotifier::fileLines() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& m : messages_)
        result.push_back(m.file ? m.file->line() : std::string());
    return result;
}

std::vector<RecordingNotifier::Message> RecordingNotifier::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> RecordingNotifier::titles() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& m : messages_)
        result.push_back(m.title);
    return result;
}

std::vector<std::string> RecordingNotifier::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& m : messages_)
        result.push_back(m.text);
    return result;
}

size_t RecordingNotifier::count() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

void RecordingNotifier::clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

} // namespace korvelt
