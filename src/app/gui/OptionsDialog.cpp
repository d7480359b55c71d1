#include "app/gui/OptionsDialog.h"

#include "app/Settings.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/FileDialogs.h"
#include "app/gui/UpDownControl.h"
#include "app/gui/WxText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dcclient.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <vector>

namespace korvelt::gui {
namespace {

constexpr GroupEntry kGroups[] = {
    {"MIDI debug", {7, 7, 123, 25}},
    {"MIDI tempo", {7, 33, 123, 33}},
    {"MIDI transposition", {7, 67, 123, 42}},
    {"", {7, 110, 124, 35}},
    {"Reverberator", {134, 7, 138, 103}},
    {"Chorus", {134, 110, 138, 35}},
    {"", {7, 143, 265, 38}},
    {"Delay", {275, 7, 132, 174}},
    {"Default Files", {7, 182, 400, 40}},
};

// A horizontal slider with a tick at every position, its title centred above it and its
// two end labels beside its ends (each `endWidth` wide).
struct SliderEntry {
    int id;
    const char* title;
    const char* low;
    const char* high;
    DialogRect place;
    int lowWidth;
    int highWidth;
};

constexpr SliderEntry kSliders[] = {
    {options::kRoomSize, "Room size", "Small\nroom", "Concert\nhall", {157, 24, 84, 19}, 21, 30},
    {options::kDamping, "Damping", "Slow", "Fast", {157, 55, 84, 19}, 21, 30},
    {options::kReverbAmount, "Amount", "-100 %", "100 %", {157, 85, 84, 19}, 21, 30},
    {options::kChorusAmount, "Amount", "-100 %", "100 %", {157, 123, 84, 19}, 21, 30},
    {options::kMasterVolume, "Master volume", "-20 dB", "20 dB", {30, 158, 90, 19}, 21, 24},
    {options::kCompressor, "Compressor level", "Min", "Max", {161, 158, 90, 19}, 14, 19},
    {options::kDelayTime, "Delay time", "1 ms", "1 sec", {299, 25, 84, 19}, 22, 22},
    {options::kModulation, "Modulation", "0 ms", "20 ms", {299, 55, 84, 19}, 22, 22},
    {options::kFeedback, "Feedback", "0 %", "90 %", {299, 86, 84, 19}, 22, 22},
    {options::kStereoSpread, "Stereo spread", "0 ms", "40 ms", {299, 117, 84, 19}, 22, 22},
    {options::kDelayAmount, "Amount", "0 %", "100 %", {299, 148, 84, 19}, 22, 22},
};

// The order in which the sliders get their range and position on opening.
constexpr int kSliderFillOrder[] = {
    options::kRoomSize,     options::kDamping,      options::kReverbAmount, options::kChorusAmount,
    options::kDelayTime,    options::kModulation,   options::kFeedback,     options::kDelayAmount,
    options::kStereoSpread, options::kMasterVolume, options::kCompressor,
};

// Gives the end labels beside the sliders one font, the largest in which every one of them
// fits the room the layout gives it: GTK's font is wider than the one the layout was made
// with, and "-100 %" would be cut off.
void fitEndLabels(const std::vector<wxStaticText*>& labels) {
    if (labels.empty())
        return;
    wxFont font = labels.front()->GetFont();
    wxClientDC dc(labels.front());
    auto allFit = [&] {
        dc.SetFont(font);
        for (const wxStaticText* label : labels) {
            const wxSize needed = dc.GetMultiLineTextExtent(label->GetLabel());
            if (needed.x > label->GetSize().x)
                return false;
        }
        return true;
    };
    while (!allFit() && font.GetFractionalPointSize() > 6.5)
        font.SetFractionalPointSize(font.GetFractionalPointSize() - 0.25);
    for (wxStaticText* label : labels)
        label->SetFont(font);
}

} // namespace

const char* const OptionsDialog::kSoundBankFilter =
    "Sound Font Files(*.sf2;*.sf3;*.csf)|*.sf2;*.sf3;*.csf|Compressed Sound Font Files (*.csf)|"
    "*.csf|Uncompressed Sound Font files (*.sf2)|*.sf2|SoundFont 3 files (*.sf3)|*.sf3|"
    "All Files (*.*)|*";
const char* const OptionsDialog::kWaveFilter = "Wave files (*.wav)|*.wav|All Files (*.*)|*";

OptionsDialog::OptionsDialog(wxWindow* parent, Settings& settings, std::string settingsFile,
                             std::string startupDirectory, std::function<void()> help)
    : wxDialog(parent, wxID_ANY, kCaption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      settings_(settings), settingsFile_(std::move(settingsFile)),
      startupDirectory_(std::move(startupDirectory)), help_(std::move(help)) {
    setClientSizeInDialogUnits(*this, kWidth, kHeight);
    createControls();
    show(options::fromSettings(settings_));

    // OK and Cancel keep their own ids; Enter, Escape and the close box act through them.
    SetAffirmativeId(kOk);
    SetEscapeId(kCancel);
    Bind(wxEVT_BUTTON, &OptionsDialog::onOk, this, kOk);
    Bind(wxEVT_BUTTON, &OptionsDialog::onCancel, this, kCancel);
    Bind(wxEVT_BUTTON, &OptionsDialog::onBrowse, this, options::kBrowseSoundBank);
    Bind(wxEVT_BUTTON, &OptionsDialog::onBrowse, this, options::kBrowseOutput);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { help_(); }, options::kHelp);
    CentreOnParent();
}

void OptionsDialog::createControls() {
    auto place = [this](const DialogRect& r) { return toPixels(*this, r); };
    for (const GroupEntry& group : kGroups) {
        const wxRect r = place(group.place);
        new wxStaticBox(this, wxID_ANY, group.text, r.GetPosition(), r.GetSize());
    }
    auto label = [&](const char* text, const DialogRect& r, long align) {
        const wxRect p = place(r);
        return new wxStaticText(this, wxID_ANY, text, p.GetPosition(), p.GetSize(),
                                align | wxST_NO_AUTORESIZE);
    };
    auto check = [&](int id, const char* text, const DialogRect& r) {
        const wxRect p = place(r);
        auto* box = new wxCheckBox(this, id, text, p.GetPosition(), p.GetSize());
        box->SetSize(grownForToolkit(*box, p));
    };
    auto radio = [&](int id, const char* text, const DialogRect& r, long style) {
        const wxRect p = place(r);
        auto* button = new wxRadioButton(this, id, text, p.GetPosition(), p.GetSize(), style);
        button->SetSize(grownForToolkit(*button, p));
    };
    auto edit = [&](int id, const DialogRect& r) {
        const wxRect p = place(r);
        return new wxTextCtrl(this, id, wxString(), p.GetPosition(), p.GetSize());
    };
    auto spin = [&](int id, wxTextCtrl* buddy, const DialogRect& r) {
        const wxRect p = place(r);
        auto* control = new UpDownControl(this, id, p.GetPosition(), p.GetSize());
        control->attach(buddy);
    };
    auto button = [&](int id, const char* text, const DialogRect& r) {
        const wxRect p = place(r);
        return new wxButton(this, id, text, p.GetPosition(), p.GetSize());
    };

    check(options::kShowMidiErrors, "Show MIDI error &messages", {20, 18, 108, 8});

    radio(options::kSlower, "&Slower", {19, 43, 54, 8}, wxRB_GROUP);
    radio(options::kFaster, "&Faster", {19, 54, 54, 8}, 0);
    label("%", {74, 49, 15, 8}, wxALIGN_RIGHT);
    spin(options::kTempoSpin, edit(options::kTempoEdit, {91, 47, 28, 12}), {118, 47, 11, 13});

    radio(options::kHigher, "&Higher", {20, 81, 36, 8}, wxRB_GROUP);
    radio(options::kLower, "&Lower", {20, 91, 35, 8}, 0);
    label("1/2 tones", {56, 86, 34, 8}, wxALIGN_RIGHT);
    spin(options::kTransposeSpin, edit(options::kTransposeEdit, {92, 84, 28, 12}),
         {118, 84, 11, 14});

    check(options::kRescale, "Rescale WAVE file", {21, 126, 75, 9});

    std::vector<wxStaticText*> endLabels;
    for (const SliderEntry& s : kSliders) {
        const DialogRect& r = s.place;
        label(s.title, {r.x, r.y - 9, r.width, 8}, wxALIGN_CENTRE_HORIZONTAL);
        // End labels level with the slider's track (two-line labels a little higher).
        const bool twoLines = std::string_view(s.low).find('\n') != std::string_view::npos;
        const int top = twoLines ? r.y : r.y + 3;
        const int height = twoLines ? 18 : 10;
        endLabels.push_back(
            label(s.low, {r.x - s.lowWidth - 1, top, s.lowWidth, height}, wxALIGN_RIGHT));
        endLabels.push_back(
            label(s.high, {r.x + r.width + 1, top, s.highWidth, height}, wxALIGN_LEFT));
        const wxRect p = place(r);
        auto* control =
            new wxSlider(this, s.id, 0, 0, options::sliderMaximum(s.id), p.GetPosition(),
                         p.GetSize(), wxSL_HORIZONTAL | wxSL_AUTOTICKS | wxSL_BOTTOM);
        control->SetTickFreq(1);
    }
    fitEndLabels(endLabels);

    label("Sound Bank", {11, 193, 43, 8}, wxALIGN_RIGHT);
    edit(options::kSoundBankEdit, {56, 191, 279, 12});
    button(options::kBrowseSoundBank, "Browse", {357, 192, 31, 11});
    label("Output", {11, 207, 43, 8}, wxALIGN_RIGHT);
    edit(options::kOutputEdit, {56, 204, 279, 14});
    button(options::kBrowseOutput, "Browse", {357, 207, 31, 11});

    button(options::kHelp, "&Help", {65, 234, 50, 14});
    button(kCancel, "Cancel", {183, 234, 50, 14});
    button(kOk, "OK", {301, 234, 50, 14})->SetDefault();
}

wxSlider* OptionsDialog::slider(int id) const {
    return wxDynamicCast(FindWindow(id), wxSlider);
}

void OptionsDialog::show(const OptionsValues& v) {
    auto setCheck = [this](int id, bool value) {
        wxDynamicCast(FindWindow(id), wxCheckBox)->SetValue(value);
    };
    auto setRadio = [this](int id) {
        wxDynamicCast(FindWindow(id), wxRadioButton)->SetValue(true);
    };
    auto setEdit = [this](int id, const std::string& text) {
        wxDynamicCast(FindWindow(id), wxTextCtrl)->ChangeValue(toWx(text));
    };

    setCheck(options::kShowMidiErrors, v.showMidiErrors);
    setCheck(options::kRescale, v.rescaleOutput);
    setRadio(v.slower ? options::kSlower : options::kFaster);
    setEdit(options::kTempoEdit, v.tempoText);
    setRadio(v.higher ? options::kHigher : options::kLower);
    setEdit(options::kTransposeEdit, v.transposeText);

    const auto position = [&v](int id) {
        switch (id) {
        case options::kRoomSize:
            return v.roomSize;
        case options::kDamping:
            return v.damping;
        case options::kReverbAmount:
            return v.reverbAmount;
        case options::kChorusAmount:
            return v.chorusAmount;
        case options::kDelayTime:
            return v.delayTime;
        case options::kModulation:
            return v.modulation;
        case options::kFeedback:
            return v.feedback;
        case options::kDelayAmount:
            return v.delayAmount;
        case options::kStereoSpread:
            return v.stereoSpread;
        case options::kMasterVolume:
            return v.masterVolume;
        default:
            return v.compressor;
        }
    };
    for (int id : kSliderFillOrder) {
        wxSlider* s = slider(id);
        s->SetRange(0, options::sliderMaximum(id));
        s->SetValue(position(id));
    }
    setEdit(options::kSoundBankEdit, v.defaultSoundBank);
    setEdit(options::kOutputEdit, v.defaultOutputFile);
}

OptionsValues OptionsDialog::values() const {
    auto checked = [this](int id) { return wxDynamicCast(FindWindow(id), wxCheckBox)->GetValue(); };
    auto selected = [this](int id) {
        return wxDynamicCast(FindWindow(id), wxRadioButton)->GetValue();
    };
    auto text = [this](int id) {
        return fromWx(wxDynamicCast(FindWindow(id), wxTextCtrl)->GetValue());
    };
    auto position = [this](int id) { return slider(id)->GetValue(); };

    OptionsValues v;
    v.showMidiErrors = checked(options::kShowMidiErrors);
    v.rescaleOutput = checked(options::kRescale);
    v.slower = !selected(options::kFaster);
    v.tempoText = text(options::kTempoEdit);
    v.higher = !selected(options::kLower);
    v.transposeText = text(options::kTransposeEdit);
    v.roomSize = position(options::kRoomSize);
    v.damping = position(options::kDamping);
    v.reverbAmount = position(options::kReverbAmount);
    v.chorusAmount = position(options::kChorusAmount);
    v.delayTime = position(options::kDelayTime);
    v.modulation = position(options::kModulation);
    v.feedback = position(options::kFeedback);
    v.delayAmount = position(options::kDelayAmount);
    v.stereoSpread = position(options::kStereoSpread);
    v.masterVolume = position(options::kMasterVolume);
    v.compressor = position(options::kCompressor);
    v.defaultSoundBank = text(options::kSoundBankEdit);
    v.defaultOutputFile = text(options::kOutputEdit);
    return v;
}

void OptionsDialog::onOk(wxCommandEvent&) {
    saveProblem_ = options::ok(values(), settings_, settingsFile_);
    EndModal(wxID_OK);
}

void OptionsDialog::onCancel(wxCommandEvent&) {
    EndModal(wxID_CANCEL);
}

void OptionsDialog::onBrowse(wxCommandEvent& event) {
    const bool bank = event.GetId() == options::kBrowseSoundBank;
    FileDialogRequest request;
    request.save = !bank;
    request.filter = bank ? kSoundBankFilter : kWaveFilter;
    request.defaultExtension = bank ? ".sf2" : ".wav";
    request.startDirectory = startupDirectory_;
    if (auto choice = chooseFile(this, request))
        wxDynamicCast(FindWindow(bank ? options::kSoundBankEdit : options::kOutputEdit), wxTextCtrl)
            ->ChangeValue(toWx(choice->path));
}

} // namespace korvelt::gui
