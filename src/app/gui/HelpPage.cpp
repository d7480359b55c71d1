#include "app/gui/HelpPage.h"

#include "app/gui/WxText.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

namespace korvelt::gui {

bool openHelpPage(const std::string& page) {
    wxLogNull quiet; // the caller tells the user, in its own box
    return wxLaunchDefaultBrowser(wxFileName::FileNameToURL(wxFileName(toWx(page))));
}

} // namespace korvelt::gui
