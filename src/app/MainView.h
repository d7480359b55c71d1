#pragma once

#include <optional>
#include <string>

namespace korvelt {

// What the main window's logic asks a file dialog for.
struct FileDialogRequest {
    bool save = false;            // a save dialog (no overwrite question), else an open dialog
    std::string filter;           // "Name|*.a;*.b|All Files (*.*)|*.*"
    std::string defaultExtension; // ".sf2"
    std::string startDirectory;
};

// What a file dialog answered: the chosen full path, and its file name and extension (without
// the dot) as the dialog reports them.
struct FileChoice {
    std::string path;
    std::string fileName;
    std::string extension;
};

// The main window as its logic sees it: the logic decides everything and tells the view
// what to show. Every call comes on the user-interface thread.
class MainView {
public:
    virtual ~MainView() = default;

    // The text of a button or an edit box.
    virtual void setText(int controlId, const std::string& text) = 0;
    virtual void setEnabled(int controlId, bool enabled) = 0;
    // The progress bar, 0 ... 100.
    virtual void setProgress(int percent) = 0;
    // Whether files dropped on the window are taken.
    virtual void setAcceptDrops(bool accept) = 0;
    // A modal file dialog; none when the user cancels.
    virtual std::optional<FileChoice> chooseFile(const FileDialogRequest& request) = 0;
    // The dialogs and the help page.
    virtual void runOptionsDialog() = 0;
    virtual void runMixerDialog() = 0;
    virtual void runAboutBox() = 0;
    // Asks the desktop to show the help page; false when no program could open it.
    virtual bool openHelp(const std::string& helpFile) = 0;
};

} // namespace korvelt
