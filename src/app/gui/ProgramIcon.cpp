#include "app/gui/ProgramIcon.h"

namespace korvelt::gui {

extern const char kProgramIconSvg[];

wxBitmapBundle programIcon() {
    return wxBitmapBundle::FromSVG(kProgramIconSvg, wxSize(256, 256));
}

wxIconBundle programIcons() {
    const wxBitmapBundle bundle = programIcon();
    wxIconBundle icons;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icons.AddIcon(bundle.GetIcon(wxSize(size, size)));
    return icons;
}

} // namespace korvelt::gui
