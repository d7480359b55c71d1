#include "app/cli/ConsoleView.h"

#include "platform/MessageTexts.h"
#include "platform/Path.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace korvelt::cli {

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

ConsoleView::ConsoleView(bool showProgress, std::string label)
    : showProgress_(showProgress), label_(std::move(label)) {}

ConsoleView::~ConsoleView() {
    finishLine();
}

void ConsoleView::setProgress(int percent) {
    if (!showProgress_ || percent == lastPercent_)
        return;
    if (percent == 0 && barShown_) {
        barShown_ = false;
        finishLine();
        return;
    }
    lastPercent_ = percent;
    const int shown = std::clamp(percent, 0, 100);
    constexpr int kWidth = 30;
    const int filled = shown * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '-');
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(), shown);
    std::fflush(stderr);
    lineOpen_ = true;
    barShown_ = true;
}

void ConsoleView::finishLine() {
    if (lineOpen_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
        lineOpen_ = false;
    }
    lastPercent_ = -1; // a bar drawn afterwards starts a new line
}

void ConsoleNotifier::show(Severity severity, const std::string& title, const std::string& text) {
    dispatcher_.invokeAndWait([&] {
        view_.finishLine();
        out_.show(severity, title, text);
        ++count_;
    });
}

void ConsoleNotifier::showFileProblem(Severity severity, const std::string& title,
                                      const std::string& text, const FileProblem& problem) {
    dispatcher_.invokeAndWait([&] {
        view_.finishLine();
        out_.showFileProblem(severity, title, text, problem);
        ++count_;
    });
}

void ConsoleNotifier::showDataProblem(Severity severity, const std::string& title,
                                      const std::string& text, const DataPlace& place) {
    if (gathering_)
        summary_.add(title, text, place);
    else
        show(severity, title, text);
}

void ConsoleNotifier::printDataProblemSummary() {
    const std::string text = summary_.take();
    if (text.empty())
        return;
    view_.finishLine();
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

void DataProblemSummary::add(const std::string& title, const std::string& text,
                             const DataPlace& place) {
    std::lock_guard lock(mutex_);
    const auto [at, added] =
        index_.try_emplace(std::tuple(place.channel, title, text), entries_.size());
    if (added)
        entries_.push_back({place.channel, title, text, place.seconds, 1});
    else
        ++entries_[at->second].count;
}

std::string DataProblemSummary::take() {
    std::vector<Entry> entries;
    {
        std::lock_guard lock(mutex_);
        entries.swap(entries_);
        index_.clear();
    }
    if (entries.empty())
        return {};
    // In the order of the performance (the render plays a block channel by channel).
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.firstSeconds != b.firstSeconds ? a.firstSeconds < b.firstSeconds
                                                : a.channel < b.channel;
    });
    std::string out = msg::kDataProblemSummaryHead;
    for (const Entry& e : entries) {
        const long ms = std::lround(std::max(e.firstSeconds, 0.0) * 1000.0);
        char time[48];
        std::snprintf(time, sizeof time, "%ld:%02ld.%03ld", ms / 60000, ms / 1000 % 60, ms % 1000);
        std::string line = "  ";
        if (e.channel >= 0)
            line += "channel " + std::to_string(e.channel + 1) + ", ";
        line += std::string("first at ") + time + ", " + std::to_string(e.count) +
                (e.count == 1 ? " time: " : " times: ");
        std::string text = e.text;
        std::replace(text.begin(), text.end(), '\n', ' ');
        out += line + e.title + ": " + text + "\n";
    }
    return out;
}

std::optional<FileChoice> ConsoleView::chooseFile(const FileDialogRequest&) {
    if (!nextAnswer_)
        return std::nullopt;
    FileChoice choice;
    choice.path = *nextAnswer_;
    choice.fileName = path::fileName(choice.path);
    const std::string ext = path::extension(choice.path);
    choice.extension = ext.empty() ? std::string() : ext.substr(1);
    nextAnswer_.reset();
    return choice;
}

} // namespace korvelt::cli
