#include "GuiTestSupport.h"

#include "app/gui/AboutBox.h"
#include "platform/Path.h"

#include <wx/gauge.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace korvelt::test {
namespace {

struct Expected {
    int id;
    const char* text;        // a button's caption; nullptr for a name box or the progress bar
    int x, y, width, height; // dialog units
};

// The main window's layout: every control with its id, caption and place.
const Expected kLayout[] = {
    {control::kMixer, "&Mixer...", 11, 3, 37, 14},
    {control::kOptions, "&Options...", 63, 3, 37, 14},
    {control::kAbout, "&About...", 115, 3, 37, 14},
    {control::kHelp, "&Help", 167, 3, 37, 14},
    {control::kSoundBankName, nullptr, 9, 28, 156, 13},
    {control::kChangeSoundBank, "Cha&nge...", 171, 27, 37, 14},
    {control::kOutputFileName, nullptr, 9, 54, 156, 13},
    {control::kChangeOutput, "Chan&ge...", 171, 52, 37, 14},
    {control::kMidiFileName, nullptr, 9, 80, 156, 13},
    {control::kLoadMidi, "Loa&d...", 171, 78, 37, 14},
    {control::kProgress, nullptr, 9, 105, 200, 12},
    {control::kBatch, "&Batch", 9, 132, 57, 14},
    {control::kConvert, "&Convert", 80, 132, 57, 14},
    {control::kListen, "&Listen", 151, 132, 57, 14},
};

TEST_F(GuiTest, MainWindowShowsEveryControlAtItsPlace) {
    dir.write("Korvelt.sf2", smallBank()); // the bank beside the program is the default
    start();

    EXPECT_EQ(window->GetTitle(), "Korvelt - MIDI to WAVE converter");
    EXPECT_TRUE(window->HasFlag(wxMINIMIZE_BOX));
    EXPECT_FALSE(window->HasFlag(wxMAXIMIZE_BOX));
    EXPECT_FALSE(window->HasFlag(wxRESIZE_BORDER));
    EXPECT_TRUE(window->GetIcon().IsOk());
    EXPECT_EQ(window->GetClientSize(), window->ConvertDialogToPixels(wxSize(218, 159)));

    for (const Expected& e : kLayout) {
        SCOPED_TRACE("control " + std::to_string(e.id));
        wxWindow* control = window->FindWindow(e.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->GetPosition(), window->ConvertDialogToPixels(wxPoint(e.x, e.y)));
        EXPECT_EQ(control->GetSize(), window->ConvertDialogToPixels(wxSize(e.width, e.height)));
        EXPECT_TRUE(control->IsEnabled());
        if (e.text != nullptr) {
            ASSERT_NE(wxDynamicCast(control, wxButton), nullptr);
            EXPECT_EQ(control->GetLabel(), e.text);
        } else if (e.id != control::kProgress) {
            auto* box = wxDynamicCast(control, wxTextCtrl);
            ASSERT_NE(box, nullptr);
            EXPECT_FALSE(box->IsEditable());
        }
    }
    auto* progress = find<wxGauge>(*window, control::kProgress);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->GetRange(), 100);
    EXPECT_EQ(progress->GetValue(), 0);

    // The boxes show file names only; no MIDI file yet.
    EXPECT_EQ(boxText(control::kSoundBankName), "Korvelt.sf2");
    EXPECT_EQ(boxText(control::kOutputFileName), "Korvelt.wav");
    EXPECT_EQ(logic().flow().currentOutputFile(), dir.file("Korvelt.wav"));
    EXPECT_EQ(boxText(control::kMidiFileName), "");

    std::vector<std::string> groups;
    for (wxWindow* child : window->panel()->GetChildren())
        if (auto* group = wxDynamicCast(child, wxStaticBox)) {
            groups.push_back(group->GetLabel().utf8_string());
            EXPECT_EQ(group->GetSize().x, window->ConvertDialogToPixels(wxSize(212, 0)).x);
        }
    EXPECT_EQ(groups,
              (std::vector<std::string>{"Sound Bank", "Output File", "Input File", "Progress"}));
    EXPECT_TRUE(window->acceptsDrops());
    EXPECT_NE(window->panel()->GetDropTarget(), nullptr);
}

TEST_F(GuiTest, AboutBoxShowsTheIconAndTheVersion) {
    start();
    bool ran = false;
    answers.onDialog("About Korvelt", [&](wxDialog& box) {
        ran = true;
        EXPECT_EQ(box.GetClientSize(), box.ConvertDialogToPixels(wxSize(208, 117)));
        bool icon = false;
        bool version = false;
        for (wxWindow* child : box.GetChildren()) {
            if (auto* picture = wxDynamicCast(child, wxStaticBitmap))
                icon = picture->GetBitmap().IsOk();
            if (auto* line = wxDynamicCast(child, wxStaticText))
                version = version || line->GetLabel() == "Korvelt Version 1.9";
        }
        EXPECT_TRUE(icon);
        EXPECT_TRUE(version);
        ASSERT_NE(find<wxButton>(box, 1), nullptr);
        EXPECT_EQ(find<wxButton>(box, 1)->GetLabel(), "OK");
        click(box, 1);
    });
    click(*window, control::kAbout);
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace korvelt::test
