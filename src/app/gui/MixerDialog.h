#pragma once

#include "app/MixerModel.h"

#include <wx/dialog.h>

namespace korvelt {

struct Settings;

namespace gui {

// The Mixer dialog: sixteen channel strips, each with the channel's label, a volume
// slider from +25 dB at the top to -25 dB at the bottom, a Mute box and a Solo button.
// Solo and Reset write into the Settings at once; OK writes every strip; Cancel and the
// close box write nothing more.
class MixerDialog final : public wxDialog {
public:
    static constexpr const char* kCaption = "Korvelt - Midi Mixer";
    static constexpr int kWidth = 560;
    static constexpr int kHeight = 263;
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    MixerDialog(wxWindow* parent, Settings& settings);

    // What the strips show now.
    MixerStrips strips() const;
    // Puts the strips into the controls.
    void show(const MixerStrips& strips);

private:
    void createStrip(int channel);
    void onSolo(int channel);
    void onReset();
    void onOk();

    Settings& settings_;
};

} // namespace gui
} // namespace korvelt
