#include "GuiTestSupport.h"

#include "app/MixerModel.h"
#include "app/OptionsModel.h"
#include "app/gui/OptionsDialog.h"
#include "app/gui/UpDownControl.h"
#include "platform/IniFile.h"

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/slider.h>

namespace korvelt::test {
namespace {

int position(wxWindow& dialog, int id) {
    return find<wxSlider>(dialog, id)->GetValue();
}
std::string editText(wxWindow& dialog, int id) {
    return find<wxTextCtrl>(dialog, id)->GetValue().utf8_string();
}
void setEdit(wxWindow& dialog, int id, const std::string& text) {
    find<wxTextCtrl>(dialog, id)->ChangeValue(wxString::FromUTF8(text));
}
// A press of the left mouse button on the upper (+1) or lower (-1) arrow of a spin control.
void pressArrow(gui::UpDownControl& spin, int direction) {
    const wxSize size = spin.GetClientSize();
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.m_x = size.x / 2;
    down.m_y = direction > 0 ? size.y / 4 : size.y * 3 / 4;
    down.SetEventObject(&spin);
    spin.GetEventHandler()->ProcessEvent(down);
    wxMouseEvent up(wxEVT_LEFT_UP);
    up.SetEventObject(&spin);
    spin.GetEventHandler()->ProcessEvent(up);
}
void pressKey(wxWindow& target, int key) {
    wxKeyEvent event(wxEVT_KEY_DOWN);
    event.m_keyCode = key;
    event.SetEventObject(&target);
    target.GetEventHandler()->ProcessEvent(event);
}

TEST_F(GuiTest, OptionsOkWritesEveryFieldAndCancelWritesNothing) {
    start();
    const std::string iniFile = dir.file("Korvelt.ini");
    const std::string otherBank = dir.file("other.sf2");
    const std::string bankBox = boxText(control::kSoundBankName);

    bool ran = false;
    answers.onDialog("Korvelt - Options", [&](wxDialog& d) {
        ran = true;
        EXPECT_EQ(d.GetClientSize(), d.ConvertDialogToPixels(wxSize(415, 255)));
        // The defaults as the dialog shows them, each slider with its range.
        const std::pair<int, int> shown[] = {
            {options::kRoomSize, 5},      {options::kDamping, 5},     {options::kReverbAmount, 5},
            {options::kChorusAmount, 5},  {options::kDelayTime, 9},   {options::kModulation, 0},
            {options::kFeedback, 0},      {options::kDelayAmount, 5}, {options::kStereoSpread, 4},
            {options::kMasterVolume, 10}, {options::kCompressor, 8}};
        // The delay's feedback slider is titled as it should be spelt.
        std::function<bool(wxWindow&)> titled = [&](wxWindow& w) {
            for (wxWindow* child : w.GetChildren())
                if (child->GetLabel() == "Feedback" || titled(*child))
                    return true;
            return false;
        };
        EXPECT_TRUE(titled(d));
        for (auto [id, pos] : shown) {
            EXPECT_EQ(position(d, id), pos) << "slider " << id;
            EXPECT_EQ(find<wxSlider>(d, id)->GetMin(), 0);
            EXPECT_EQ(find<wxSlider>(d, id)->GetMax(), options::sliderMaximum(id));
        }
        EXPECT_FALSE(find<wxCheckBox>(d, options::kShowMidiErrors)->GetValue());
        EXPECT_TRUE(find<wxCheckBox>(d, options::kRescale)->GetValue());
        EXPECT_TRUE(find<wxRadioButton>(d, options::kSlower)->GetValue());
        EXPECT_TRUE(find<wxRadioButton>(d, options::kHigher)->GetValue());
        EXPECT_EQ(editText(d, options::kTempoEdit), "0");
        EXPECT_EQ(editText(d, options::kSoundBankEdit), settings().defaultSoundBank);

        // The tempo spin steps from what the edit shows and writes a plain number back;
        // the arrow keys in the edit step too.
        auto* spin = find<gui::UpDownControl>(d, options::kTempoSpin);
        ASSERT_NE(spin, nullptr);
        EXPECT_EQ(spin->GetMax(), 100);
        setEdit(d, options::kTempoEdit, "5");
        pressArrow(*spin, +1);
        EXPECT_EQ(editText(d, options::kTempoEdit), "6");
        pressKey(*d.FindWindow(options::kTempoEdit), WXK_DOWN);
        pressKey(*d.FindWindow(options::kTempoEdit), WXK_DOWN);
        EXPECT_EQ(editText(d, options::kTempoEdit), "4");
        setEdit(d, options::kTransposeEdit, "100");
        pressArrow(*find<gui::UpDownControl>(d, options::kTransposeSpin), +1);
        EXPECT_EQ(editText(d, options::kTransposeEdit), "100"); // the top of the range

        find<wxRadioButton>(d, options::kFaster)->SetValue(true);
        find<wxRadioButton>(d, options::kLower)->SetValue(true);
        find<wxSlider>(d, options::kMasterVolume)->SetValue(15);
        find<wxSlider>(d, options::kRoomSize)->SetValue(7);

        answers.answerFile(otherBank);
        click(d, options::kBrowseSoundBank);
        EXPECT_EQ(editText(d, options::kSoundBankEdit), otherBank);
        ASSERT_FALSE(answers.fileRequests.empty());
        EXPECT_EQ(answers.fileRequests.back().wildcard, gui::OptionsDialog::kSoundBankFilter);
        EXPECT_TRUE(answers.fileRequests.back().style & wxFD_OPEN);
        EXPECT_EQ(answers.fileRequests.back().directory, dir.path());
        click(d, 1);
    });
    click(*window, control::kOptions);
    ASSERT_TRUE(ran);

    EXPECT_EQ(settings().render.tempoPercent, -4);
    EXPECT_EQ(settings().render.transposeSemitones, -100);
    EXPECT_EQ(settings().render.masterVolumeDb, 10);
    EXPECT_FLOAT_EQ(settings().render.reverbRoomSize, 0.7f);
    EXPECT_EQ(settings().render.delayTimeMs, 22); // position 9 of the logarithmic scale
    EXPECT_EQ(settings().defaultSoundBank, otherBank);
    EXPECT_EQ(ini::readString(iniFile, "Files", "Sound Bank", 4095), otherBank);
    EXPECT_EQ(boxText(control::kSoundBankName), bankBox); // the current bank stays

    // Reopened, it shows what OK stored; Cancel after changes and a Browse keeps it.
    ran = false;
    const std::string outputBefore = settings().defaultOutputFile;
    answers.onDialog("Korvelt - Options", [&](wxDialog& d) {
        ran = true;
        EXPECT_TRUE(find<wxRadioButton>(d, options::kFaster)->GetValue());
        EXPECT_EQ(editText(d, options::kTempoEdit), "4");
        EXPECT_EQ(position(d, options::kMasterVolume), 15);
        EXPECT_EQ(position(d, options::kRoomSize), 7);
        find<wxSlider>(d, options::kMasterVolume)->SetValue(0);
        find<wxCheckBox>(d, options::kShowMidiErrors)->SetValue(true);
        answers.answerFile(dir.file("elsewhere.wav"));
        click(d, options::kBrowseOutput);
        EXPECT_EQ(editText(d, options::kOutputEdit), dir.file("elsewhere.wav"));
        EXPECT_TRUE(answers.fileRequests.back().style & wxFD_SAVE);
        EXPECT_EQ(answers.fileRequests.back().wildcard, gui::OptionsDialog::kWaveFilter);
        click(d, 2);
    });
    click(*window, control::kOptions);
    ASSERT_TRUE(ran);
    EXPECT_EQ(settings().render.masterVolumeDb, 10);
    EXPECT_FALSE(settings().render.showMidiErrors);
    EXPECT_EQ(settings().defaultOutputFile, outputBefore);
    EXPECT_EQ(ini::readString(iniFile, "Files", "Output File", 4095), outputBefore);
}

TEST_F(GuiTest, MixerSoloAndResetWriteAtOnceOkAppliesCancelKeeps) {
    start();
    EXPECT_TRUE(drop({dir.write("tune.mid", tune(1))}));
    ASSERT_EQ(boxText(control::kMidiFileName), "tune.mid");
    ASSERT_FALSE(settings().channelLabels[0].empty());

    auto mute = [](wxWindow& d, int channel) {
        return find<wxCheckBox>(d, mixer::muteId(channel))->GetValue();
    };
    bool ran = false;
    answers.onDialog("Korvelt - Midi Mixer", [&](wxDialog& d) {
        ran = true;
        EXPECT_EQ(d.GetClientSize(), d.ConvertDialogToPixels(wxSize(560, 263)));
        for (int i = 0; i < kMidiChannels; ++i) {
            EXPECT_EQ(editText(d, mixer::labelId(i)), settings().channelLabels[i]);
            EXPECT_EQ(position(d, mixer::sliderId(i)), 5);
            EXPECT_FALSE(mute(d, i));
        }
        EXPECT_EQ(editText(d, mixer::labelId(9)), "Percussion");
        EXPECT_EQ(editText(d, mixer::labelId(5)), "");

        click(d, mixer::soloId(2));
        for (int i = 0; i < kMidiChannels; ++i) {
            EXPECT_EQ(bool(settings().render.mixer[i].muted), i != 2) << "channel " << i;
            EXPECT_EQ(mute(d, i), i != 2) << "channel " << i;
        }
        find<wxSlider>(d, mixer::sliderId(0))->SetValue(0);
        click(d, 2);
    });
    click(*window, control::kMixer);
    ASSERT_TRUE(ran);
    for (int i = 0; i < kMidiChannels; ++i)
        EXPECT_EQ(bool(settings().render.mixer[i].muted), i != 2);
    EXPECT_EQ(settings().render.mixer[0].volumeCb, 0); // the slider moved, but Cancel

    ran = false;
    answers.onDialog("Korvelt - Midi Mixer", [&](wxDialog& d) {
        ran = true;
        EXPECT_TRUE(mute(d, 0));
        EXPECT_FALSE(mute(d, 2));
        click(d, mixer::kReset);
        for (int i = 0; i < kMidiChannels; ++i) {
            EXPECT_FALSE(settings().render.mixer[i].muted);
            EXPECT_FALSE(mute(d, i));
            EXPECT_EQ(position(d, mixer::sliderId(i)), 5);
        }
        EXPECT_EQ(editText(d, mixer::labelId(9)), "Percussion"); // labels stay
        find<wxSlider>(d, mixer::sliderId(0))->SetValue(0);      // +25 dB
        find<wxSlider>(d, mixer::sliderId(15))->SetValue(10);    // -25 dB
        find<wxCheckBox>(d, mixer::muteId(4))->SetValue(true);
        click(d, 1);
    });
    click(*window, control::kMixer);
    ASSERT_TRUE(ran);
    EXPECT_EQ(settings().render.mixer[0].volumeCb, 250);
    EXPECT_EQ(settings().render.mixer[15].volumeCb, -250);
    for (int i = 0; i < kMidiChannels; ++i)
        EXPECT_EQ(bool(settings().render.mixer[i].muted), i == 4);

    answers.onDialog("Korvelt - Midi Mixer", [&](wxDialog& d) {
        EXPECT_EQ(position(d, mixer::sliderId(0)), 0);
        click(d, mixer::kReset);
        click(d, 2);
    });
    click(*window, control::kMixer);
    for (int i = 0; i < kMidiChannels; ++i) {
        EXPECT_EQ(settings().render.mixer[i].volumeCb, 0);
        EXPECT_FALSE(settings().render.mixer[i].muted);
    }
}

TEST_F(GuiTest, DroppedFilesChooseTheBankTheOutputAndTheMidiFile) {
    start();
    const std::string bank = dir.write("Strings.SF2", smallBank());
    EXPECT_TRUE(drop({bank}));
    EXPECT_EQ(boxText(control::kSoundBankName), "Strings.SF2");
    EXPECT_EQ(logic().flow().currentSoundBank(), bank);
    EXPECT_FALSE(logic().flow().bankIsCompressed());

    EXPECT_TRUE(drop({dir.file("take.wav")}));
    EXPECT_EQ(boxText(control::kOutputFileName), "take.wav");
    EXPECT_EQ(logic().flow().currentOutputFile(), dir.file("take.wav"));

    const std::string midi = dir.write("song.mid", tune(1));
    EXPECT_TRUE(drop({midi, dir.file("take2.wav")})); // only the first counts
    EXPECT_EQ(boxText(control::kMidiFileName), "song.mid");
    EXPECT_EQ(boxText(control::kOutputFileName), "take.wav");
    EXPECT_EQ(logic().flow().currentMidiFile(), midi);
    EXPECT_EQ(settings().channelLabels[9], "Percussion");

    drop({dir.write("other.midi", tune(1))}); // not one of the dropped kinds
    EXPECT_EQ(boxText(control::kMidiFileName), "song.mid");
    EXPECT_TRUE(answers.messages.empty());

    // A broken MIDI file: the reader's and the window's warnings, its name stays shown.
    drop({dir.write("broken.mid", "MThd-not-really")});
    EXPECT_EQ(boxText(control::kMidiFileName), "broken.mid");
    ASSERT_FALSE(answers.messages.empty());
    const auto& last = answers.messages.back();
    EXPECT_EQ(last.title, "Couldn't load MIDI file");
    EXPECT_TRUE(last.style & wxICON_WARNING);
    EXPECT_EQ(last.text.substr(0, 37), "The MIDI file selected could not be l");
}

} // namespace
} // namespace korvelt::test
