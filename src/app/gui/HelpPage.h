#pragma once

#include <string>

namespace korvelt::gui {

// Opens the page in the desktop's web browser; a failure is silent.
void openHelpPage(const std::string& page);

} // namespace korvelt::gui
