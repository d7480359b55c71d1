#include "app/gui/HelpPage.h"

#include "app/gui/WxText.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

namespace korvelt::gui {

void openHelpPage(const std::string& page) {
    wxLogNull quiet; // the result is not checked, and no error box either
    wxLaunchDefaultBrowser(wxFileName::FileNameToURL(wxFileName(toWx(page))));
}

} // namespace korvelt::gui
