#pragma once

#include <wx/gdicmn.h>
#include <wx/window.h>

#include <algorithm>

namespace korvelt::gui {

// A place in dialog units: x, y, width, height. A dialog unit is a quarter of the average
// character width across and an eighth of the character height down, so a layout in
// these units follows the font the toolkit uses.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A group box of a layout table: its caption and place.
struct GroupEntry {
    const char* text;
    DialogRect place;
};

// The place in pixels within `window`'s top-level window font.
inline wxRect toPixels(const wxWindow& window, const DialogRect& r) {
    return wxRect(window.ConvertDialogToPixels(wxPoint(r.x, r.y)),
                  window.ConvertDialogToPixels(wxSize(r.width, r.height)));
}

inline wxPoint pixelPosition(const wxWindow& window, const DialogRect& r) {
    return toPixels(window, r).GetPosition();
}

inline wxSize pixelSize(const wxWindow& window, const DialogRect& r) {
    return toPixels(window, r).GetSize();
}

// GTK draws check boxes and radio buttons only at least as large as its theme wants (it
// reports an error for anything less): such a control keeps its place in the layout but
// grows to that size, in height around the same middle (so its text stays where the
// layout puts it) and in width to the right.
inline wxRect grownForToolkit(const wxWindow& control, const wxRect& laidOut) {
    const wxSize needed = control.GetBestSize();
    wxRect r = laidOut;
    if (needed.y > r.height) {
        r.y -= (needed.y - r.height) / 2;
        r.height = needed.y;
    }
    r.width = std::max(r.width, needed.x);
    return r;
}

// The client area of a dialog of `width` x `height` dialog units.
inline void setClientSizeInDialogUnits(wxWindow& window, int width, int height) {
    window.SetClientSize(window.ConvertDialogToPixels(wxSize(width, height)));
}

} // namespace korvelt::gui
