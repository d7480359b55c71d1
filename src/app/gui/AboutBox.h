#pragma once

#include <wx/dialog.h>

namespace korvelt::gui {

// The About box: the program icon, its name and version, and OK.
class AboutBox final : public wxDialog {
public:
    static constexpr const char* kCaption = "About Korvelt";
    static constexpr const char* kVersionLine = "Korvelt Version 1.9";
    static constexpr int kWidth = 208;
    static constexpr int kHeight = 117;
    static constexpr int kOk = 1;

    explicit AboutBox(wxWindow* parent);
};

} // namespace korvelt::gui
