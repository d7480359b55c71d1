#pragma once

#include "app/OptionsModel.h"

#include <wx/dialog.h>

#include <functional>
#include <string>

class wxCheckBox;
class wxRadioButton;
class wxSlider;
class wxTextCtrl;

namespace korvelt {

struct Settings;

namespace gui {

// The Options dialog: every option but the mixer. It shows the Settings when it opens and
// writes them all back, and saves the default files, only on OK; Cancel and the close box
// change nothing. The Browse buttons change only the file edits until OK.
class OptionsDialog final : public wxDialog {
public:
    static constexpr const char* kCaption = "Korvelt - Options";
    static constexpr int kWidth = 415;
    static constexpr int kHeight = 255;
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    // The open-file filter of the sound bank's Browse and the save filter of the output's.
    static const char* const kSoundBankFilter;
    static const char* const kWaveFilter;

    OptionsDialog(wxWindow* parent, Settings& settings, std::string settingsFile,
                  std::string startupDirectory, std::function<void()> help);

    // What the controls show now.
    OptionsValues values() const;
    // Why OK could not save the default files (none when it could, or before OK).
    const std::optional<FileProblem>& saveProblem() const { return saveProblem_; }
    // Puts values into the controls.
    void show(const OptionsValues& values);

private:
    void createControls();
    wxSlider* slider(int id) const;
    void onOk(wxCommandEvent& event);
    void onCancel(wxCommandEvent& event);
    void onBrowse(wxCommandEvent& event);

    Settings& settings_;
    std::string settingsFile_;
    std::string startupDirectory_;
    std::function<void()> help_;
    std::optional<FileProblem> saveProblem_;
};

} // namespace gui
} // namespace korvelt
