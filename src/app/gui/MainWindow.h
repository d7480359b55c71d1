#pragma once

#include "app/MainView.h"

#include <wx/frame.h>

#include <memory>
#include <string>
#include <vector>

class wxGauge;
class wxPanel;

namespace korvelt {

class MainWindowLogic;

namespace gui {

class DesktopProgram;

// The main window: shows the current sound bank, output file and MIDI file, the progress
// bar and the command buttons, takes dropped files, and hands every command to its logic,
// which decides what happens and tells the window what to show. Closing it (close box,
// Alt+F4, Escape, or Enter while no button has the focus) first runs the logic's close
// steps, which stop playback or a render and wait for its end, so no render thread
// outlives the window.
class MainWindow final : public wxFrame, public MainView {
public:
    static constexpr const char* kCaption = "Korvelt - MIDI to WAVE converter";
    // The client area in dialog units.
    static constexpr int kWidth = 218;
    static constexpr int kHeight = 159;

    explicit MainWindow(DesktopProgram& program);
    ~MainWindow() override;

    // The logic while the window is open (null after the close steps).
    MainWindowLogic* logic() noexcept { return logic_.get(); }
    // The panel that holds the controls and takes dropped files.
    wxPanel* panel() noexcept { return panel_; }
    bool acceptsDrops() const noexcept { return acceptDrops_; }

    // Files given to the program at start, each as if dropped on the window on its own.
    void openFiles(const std::vector<std::string>& files);
    // Files dropped on the window (only the first counts, as the logic decides).
    void dropFiles(const std::vector<std::string>& files);

    // The close steps; afterwards the window shows what it showed and does nothing more.
    void closeLogic();

    // MainView
    void setText(int controlId, const std::string& text) override;
    void setEnabled(int controlId, bool enabled) override;
    void setProgress(int percent) override;
    void setAcceptDrops(bool accept) override;
    std::optional<FileChoice> chooseFile(const FileDialogRequest& request) override;
    void runOptionsDialog() override;
    void runMixerDialog() override;
    void runAboutBox() override;
    bool openHelp(const std::string& helpFile) override;

private:
    void createControls();
    void onButton(wxCommandEvent& event);
    void onClose(wxCloseEvent& event);
    void onCharHook(wxKeyEvent& event);

    DesktopProgram& program_;
    wxPanel* panel_ = nullptr;
    wxGauge* progress_ = nullptr;
    std::unique_ptr<MainWindowLogic> logic_;
    bool acceptDrops_ = true;
};

} // namespace gui
} // namespace korvelt
