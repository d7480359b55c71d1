#pragma once

#include <string>

namespace korvelt::gui {

// The help page to open: the one beside the program when it is there (a build tree, a
// portable copy), else the installed one, share/korvelt/Help.htm of the installation the
// program's directory (its bin/) belongs to.
std::string helpPage(const std::string& besideProgram, const std::string& programDirectory);

// Opens the page in the desktop's web browser; a failure is silent.
void openHelpPage(const std::string& page);

} // namespace korvelt::gui
