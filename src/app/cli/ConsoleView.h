#pragma once

#include "app/MainView.h"

#include <optional>
#include <string>

namespace korvelt::cli {

// The main window's view for the command line: control texts and states go nowhere, the
// progress goes to a bar on standard error (only while that is a terminal and not
// silenced), and a file dialog answers with the file named on the command line.
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
    void openHelp(const std::string&) override {}

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
    int lastPercent_ = -1;
};

// Whether standard error is a terminal.
bool stderrIsTerminal();

} // namespace korvelt::cli
