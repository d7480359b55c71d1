#include "app/gui/ProgramIcon.h"

#include <wx/icon.h>
#include <wx/image.h>

namespace korvelt::gui {

extern const char kProgramIconSvg[];

wxBitmapBundle programIcon() {
    return wxBitmapBundle::FromSVG(kProgramIconSvg, wxSize(256, 256));
}

wxBitmap programBitmap(int pixels) {
    // A bitmap drawn from the vector image carries the ratio to the image's own size as
    // its scale factor, and GTK would then draw it enlarged; through an image it is a
    // plain bitmap of its pixels.
    return wxBitmap(programIcon().GetBitmap(wxSize(pixels, pixels)).ConvertToImage());
}

wxIconBundle programIcons() {
    wxIconBundle icons;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        wxIcon icon;
        icon.CopyFromBitmap(programBitmap(size));
        icons.AddIcon(icon);
    }
    return icons;
}

} // namespace korvelt::gui
