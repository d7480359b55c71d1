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

void RecordingNotifier::show(Severity severity, const std::string& title,
                             const std::string& text) {
    std::lock_guard lock(mutex_);
    messages_.push_back({severity, title, text});
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
