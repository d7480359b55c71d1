#include "app/gui/MainWindow.h"

#include "app/ControlIds.h"
#include "app/MainWindowLogic.h"
#include "app/SettingsFile.h"
#include "app/gui/AboutBox.h"
#include "app/gui/DesktopProgram.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/FileDialogs.h"
#include "app/gui/HelpPage.h"
#include "app/gui/MixerDialog.h"
#include "app/gui/OptionsDialog.h"
#include "app/gui/ProgramIcon.h"
#include "app/gui/WxText.h"
#include "platform/MessageTexts.h"

#include <wx/button.h>
#include <wx/dnd.h>
#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/statbox.h>
#include <wx/textctrl.h>

#include <algorithm>

namespace korvelt::gui {
namespace {

// The three boxes around the files and the one around the progress bar.
constexpr GroupEntry kGroups[] = {
    {"Sound Bank", {3, 19, 212, 25}},
    {"Output File", {3, 44, 212, 25}},
    {"Input File", {3, 70, 212, 25}},
    {"Progress", {3, 96, 212, 25}},
};

enum class Kind { Button, ReadOnlyEdit, Progress };

struct ControlEntry {
    int id;
    Kind kind;
    const char* text;
    DialogRect place;
};

// Every control, in the order the Tab key visits them.
constexpr ControlEntry kControls[] = {
    {control::kMixer, Kind::Button, "&Mixer...", {11, 3, 37, 14}},
    {control::kOptions, Kind::Button, "&Options...", {63, 3, 37, 14}},
    {control::kAbout, Kind::Button, "&About...", {115, 3, 37, 14}},
    {control::kHelp, Kind::Button, "&Help", {167, 3, 37, 14}},
    {control::kSoundBankName, Kind::ReadOnlyEdit, "", {9, 28, 156, 13}},
    {control::kChangeSoundBank, Kind::Button, "Cha&nge...", {171, 27, 37, 14}},
    {control::kOutputFileName, Kind::ReadOnlyEdit, "", {9, 54, 156, 13}},
    {control::kChangeOutput, Kind::Button, "Chan&ge...", {171, 52, 37, 14}},
    {control::kMidiFileName, Kind::ReadOnlyEdit, "", {9, 80, 156, 13}},
    {control::kLoadMidi, Kind::Button, "Loa&d...", {171, 78, 37, 14}},
    {control::kProgress, Kind::Progress, "", {9, 105, 200, 12}},
    {control::kBatch, Kind::Button, caption::kBatch, {9, 132, 57, 14}},
    {control::kConvert, Kind::Button, caption::kConvert, {80, 132, 57, 14}},
    {control::kListen, Kind::Button, caption::kListen, {151, 132, 57, 14}},
};

// Takes files dropped on the window while the window accepts them. The logic runs after
// the drop has completed, so a message it shows does not hold up the dragging program.
class FileDrop final : public wxFileDropTarget {
public:
    explicit FileDrop(MainWindow& window) : window_(window) {}

    wxDragResult OnEnter(wxCoord, wxCoord, wxDragResult suggested) override {
        return window_.acceptsDrops() ? suggested : wxDragNone;
    }
    wxDragResult OnDragOver(wxCoord, wxCoord, wxDragResult suggested) override {
        return window_.acceptsDrops() ? suggested : wxDragNone;
    }
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
        if (!window_.acceptsDrops() || names.empty())
            return false;
        std::vector<std::string> files;
        for (const wxString& name : names)
            files.push_back(fromWx(name));
        wxWeakRef<MainWindow> window(&window_);
        window_.CallAfter([window, files] {
            if (window)
                window->dropFiles(files);
        });
        return true;
    }

private:
    MainWindow& window_;
};

} // namespace

MainWindow::MainWindow(DesktopProgram& program)
    : wxFrame(nullptr, wxID_ANY, kCaption, wxDefaultPosition, wxDefaultSize,
              wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX | wxCLIP_CHILDREN),
      program_(program) {
    SetIcons(programIcons());
    panel_ = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL);
    setClientSizeInDialogUnits(*this, kWidth, kHeight);
    createControls();

    Bind(wxEVT_BUTTON, &MainWindow::onButton, this);
    Bind(wxEVT_CLOSE_WINDOW, &MainWindow::onClose, this);
    Bind(wxEVT_CHAR_HOOK, &MainWindow::onCharHook, this);

    program_.notifier().setOwner(this);
    logic_ = std::make_unique<MainWindowLogic>(
        program_.settings(), program_.directories(), program_.settingsFile(), program_.notifier(),
        program_.dispatcher(), *this, program_.engine(), program_.waveOut());
    logic_->initialise();
    Centre();
}

MainWindow::~MainWindow() {
    closeLogic();
}

void MainWindow::createControls() {
    // The boxes first, so the controls inside them lie above them.
    for (const GroupEntry& group : kGroups) {
        const wxRect r = toPixels(*this, group.place);
        new wxStaticBox(panel_, wxID_ANY, group.text, r.GetPosition(), r.GetSize());
    }
    for (const ControlEntry& entry : kControls) {
        const wxRect r = toPixels(*this, entry.place);
        switch (entry.kind) {
        case Kind::Button:
            new wxButton(panel_, entry.id, entry.text, r.GetPosition(), r.GetSize());
            break;
        case Kind::ReadOnlyEdit: {
            auto* edit = new wxTextCtrl(panel_, entry.id, entry.text, r.GetPosition(), r.GetSize(),
                                        wxTE_READONLY);
            // A file dropped on a name box counts as dropped on the window.
            edit->SetDropTarget(new FileDrop(*this));
            break;
        }
        case Kind::Progress:
            progress_ = new wxGauge(panel_, entry.id, 100, r.GetPosition(), r.GetSize(),
                                    wxGA_HORIZONTAL | wxGA_SMOOTH);
            break;
        }
    }
    panel_->SetDropTarget(new FileDrop(*this));
}

void MainWindow::openFiles(const std::vector<std::string>& files) {
    for (const std::string& file : files)
        dropFiles({file});
}

void MainWindow::dropFiles(const std::vector<std::string>& files) {
    if (logic_ && acceptDrops_)
        logic_->dropFiles(files);
}

void MainWindow::closeLogic() {
    if (!logic_)
        return;
    logic_->close();
    logic_.reset();
    program_.windowClosed();
}

void MainWindow::onButton(wxCommandEvent& event) {
    if (logic_)
        logic_->command(event.GetId());
}

void MainWindow::onClose(wxCloseEvent&) {
    closeLogic();
    Destroy();
}

void MainWindow::onCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_ESCAPE && !event.HasAnyModifiers()) {
        Close();
        return;
    }
    if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !event.HasAnyModifiers() &&
        wxDynamicCast(FindFocus(), wxButton) == nullptr) {
        // Enter presses the button that has the focus; with none, it closes the window,
        // as in any dialog-style window.
        Close();
        return;
    }
    event.Skip();
}

void MainWindow::setText(int controlId, const std::string& text) {
    wxWindow* control = FindWindow(controlId);
    if (control == nullptr)
        return;
    if (auto* edit = wxDynamicCast(control, wxTextCtrl))
        edit->ChangeValue(toWx(text));
    else
        control->SetLabel(toWx(text));
}

void MainWindow::setEnabled(int controlId, bool enabled) {
    if (wxWindow* control = FindWindow(controlId))
        control->Enable(enabled);
}

void MainWindow::setProgress(int percent) {
    progress_->SetValue(std::clamp(percent, 0, 100));
}

void MainWindow::setAcceptDrops(bool accept) {
    acceptDrops_ = accept;
}

std::optional<FileChoice> MainWindow::chooseFile(const FileDialogRequest& request) {
    return gui::chooseFile(this, request);
}

void MainWindow::runOptionsDialog() {
    OptionsDialog dialog(this, program_.settings(), program_.settingsFile(),
                         program_.directories().startupDirectory, [this] {
                             if (logic_)
                                 logic_->command(control::kHelp);
                         });
    dialog.ShowModal();
    // The settings stay in memory for this run whatever happened to the file.
    if (dialog.saveProblem())
        program_.notifier().showFileProblem(Severity::Warning, msg::kSettingsFileErrorTitle,
                                            msg::kSettingsNotSavedText, *dialog.saveProblem());
}

void MainWindow::runMixerDialog() {
    MixerDialog dialog(this, program_.settings());
    dialog.ShowModal();
}

void MainWindow::runAboutBox() {
    AboutBox box(this);
    box.ShowModal();
}

bool MainWindow::openHelp(const std::string& helpFile) {
    return openHelpPage(helpFile);
}

} // namespace korvelt::gui
