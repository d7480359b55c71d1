#include "app/gui/MixerDialog.h"

#include "app/Settings.h"
#include "app/gui/DialogUnits.h"
#include "app/gui/WxText.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace korvelt::gui {
namespace {

// A strip's box: channels 1-8 on top, 9-16 below, 69 units apart.
DialogRect stripBox(int channel) {
    const int row = channel / 8;
    const int column = channel % 8;
    return {5 + 69 * column, row == 0 ? 2 : 114, 65, 111};
}

} // namespace

MixerDialog::MixerDialog(wxWindow* parent, Settings& settings)
    : wxDialog(parent, wxID_ANY, kCaption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      settings_(settings) {
    setClientSizeInDialogUnits(*this, kWidth, kHeight);
    for (int channel = 0; channel < kMidiChannels; ++channel)
        createStrip(channel);
    auto button = [this](int id, const char* text, const DialogRect& r) {
        const wxRect p = toPixels(*this, r);
        return new wxButton(this, id, text, p.GetPosition(), p.GetSize());
    };
    button(mixer::kReset, "&Reset", {302, 242, 50, 14});
    wxButton* ok = button(kOk, "OK", {431, 242, 50, 14});
    ok->SetDefault();
    button(kCancel, "Cancel", {503, 242, 50, 14});

    MixerStrips filled;
    mixer::fill(settings_, filled);
    show(filled);

    SetAffirmativeId(kOk);
    SetEscapeId(kCancel);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { onOk(); }, kOk);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); }, kCancel);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { onReset(); }, mixer::kReset);
    for (int channel = 0; channel < kMidiChannels; ++channel)
        Bind(
            wxEVT_BUTTON, [this, channel](wxCommandEvent&) { onSolo(channel); },
            mixer::soloId(channel));
    ok->SetFocus();
    CentreOnParent();
}

void MixerDialog::createStrip(int channel) {
    const DialogRect box = stripBox(channel);
    auto place = [this, &box](int x, int y, int width, int height) {
        return toPixels(*this, DialogRect{box.x + x, box.y + y, width, height});
    };
    wxRect p = place(0, 0, box.width, box.height);
    new wxStaticBox(this, wxID_ANY, wxString::Format("Channel %d", channel + 1), p.GetPosition(),
                    p.GetSize());

    p = place(2, 10, 61, 12);
    new wxTextCtrl(this, mixer::labelId(channel), wxString(), p.GetPosition(), p.GetSize(),
                   wxTE_READONLY);

    // The scale beside the slider: +25 dB at the top, 0 in the middle, -25 at the bottom.
    const int sliderTop = 24;
    const int sliderHeight = 75;
    auto label = [&](const char* text, int x, int y, int width, long align) {
        const wxRect r = place(x, y, width, 8);
        new wxStaticText(this, wxID_ANY, text, r.GetPosition(), r.GetSize(),
                         align | wxST_NO_AUTORESIZE);
    };
    label("+25", 2, sliderTop + 2, 17, wxALIGN_RIGHT);
    label("0", 2, sliderTop + sliderHeight / 2 - 4, 17, wxALIGN_RIGHT);
    label("-25", 2, sliderTop + sliderHeight - 10, 17, wxALIGN_RIGHT);
    label("dB", 43, sliderTop + sliderHeight / 2 - 4, 14, wxALIGN_LEFT);

    p = place(21, sliderTop, 21, sliderHeight);
    auto* slider = new wxSlider(this, mixer::sliderId(channel), 5, 0, 10, p.GetPosition(),
                                p.GetSize(), wxSL_VERTICAL | wxSL_AUTOTICKS | wxSL_BOTH);
    slider->SetTickFreq(1);

    p = place(4, 100, 28, 9);
    auto* mute = new wxCheckBox(this, mixer::muteId(channel), "Mute", p.GetPosition(), p.GetSize());
    mute->SetSize(grownForToolkit(*mute, p));
    p = place(39, 99, 19, 10);
    new wxButton(this, mixer::soloId(channel), "Solo", p.GetPosition(), p.GetSize());
}

MixerStrips MixerDialog::strips() const {
    MixerStrips out;
    for (int channel = 0; channel < kMidiChannels; ++channel) {
        MixerStrip& strip = out[channel];
        strip.label =
            fromWx(wxDynamicCast(FindWindow(mixer::labelId(channel)), wxTextCtrl)->GetValue());
        strip.position = wxDynamicCast(FindWindow(mixer::sliderId(channel)), wxSlider)->GetValue();
        strip.mute = wxDynamicCast(FindWindow(mixer::muteId(channel)), wxCheckBox)->GetValue();
    }
    return out;
}

void MixerDialog::show(const MixerStrips& strips) {
    for (int channel = 0; channel < kMidiChannels; ++channel) {
        const MixerStrip& strip = strips[channel];
        auto* label = wxDynamicCast(FindWindow(mixer::labelId(channel)), wxTextCtrl);
        label->ChangeValue(toWx(strip.label));
        // The box is narrow; a long label is shown whole when the pointer rests on it.
        if (strip.label.empty())
            label->UnsetToolTip();
        else
            label->SetToolTip(toWx(strip.label));
        auto* slider = wxDynamicCast(FindWindow(mixer::sliderId(channel)), wxSlider);
        slider->SetRange(0, 10);
        slider->SetValue(strip.position);
        wxDynamicCast(FindWindow(mixer::muteId(channel)), wxCheckBox)->SetValue(strip.mute);
    }
}

void MixerDialog::onSolo(int channel) {
    MixerStrips current = strips();
    mixer::solo(settings_, current, channel);
    show(current);
}

void MixerDialog::onReset() {
    MixerStrips current = strips();
    mixer::reset(settings_, current);
    show(current);
}

void MixerDialog::onOk() {
    mixer::apply(strips(), settings_);
    EndModal(wxID_OK);
}

} // namespace korvelt::gui
