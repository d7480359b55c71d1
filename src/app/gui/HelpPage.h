#pragma once

#include <string>

namespace korvelt::gui {

// Opens the page in the desktop's web browser; false when no program could open it.
bool openHelpPage(const std::string& page);

} // namespace korvelt::gui
