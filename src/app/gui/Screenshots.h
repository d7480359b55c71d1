#pragma once

#include <string>

class wxWindow;

namespace korvelt::gui {

class MainWindow;
class DesktopProgram;

// Lets the toolkit draw everything that is waiting to be drawn.
void settle();

// Saves what a window shows (its client area) as a PNG file.
bool saveWindowImage(wxWindow& window, const std::string& file);

// Pictures of the main window, the Options and Mixer dialogs and the About box as the
// program shows them now: main-window.png, options.png, mixer.png and about.png in
// `directory`. For the
// documentation; the dialogs are shown without waiting for input and closed unchanged.
bool saveScreenshots(DesktopProgram& program, MainWindow& window, const std::string& directory);

// The program icon as PNG files of the sizes desktops use, in the icon-theme layout:
// `directory`/NxN/apps/korvelt.png.
bool saveIconFiles(const std::string& directory);

} // namespace korvelt::gui
