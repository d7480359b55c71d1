#include "app/cli/ConsoleView.h"

#include "platform/Path.h"

#include <algorithm>
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
