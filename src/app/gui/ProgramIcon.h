#pragma once

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/iconbndl.h>

namespace korvelt::gui {

// The program icon (a sine wave across a quaver on a blue tile), drawn from its vector
// image at every size asked for.
wxBitmapBundle programIcon();
// The icon drawn at `pixels` x `pixels`, as a plain bitmap of that many pixels.
wxBitmap programBitmap(int pixels);
// The icon at the sizes window managers and task bars ask for, 16 to 256 pixels.
wxIconBundle programIcons();

} // namespace korvelt::gui
