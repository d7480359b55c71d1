#include "app/gui/HelpPage.h"

#include "app/gui/WxText.h"
#include "platform/File.h"
#include "platform/Path.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

namespace korvelt::gui {

std::string helpPage(const std::string& besideProgram, const std::string& programDirectory) {
    if (file::exists(besideProgram))
        return besideProgram;
    const std::string installed =
        path::join(path::directoryOrEmpty(programDirectory), "share/korvelt/Help.htm");
    if (file::exists(installed))
        return installed;
    return besideProgram;
}

void openHelpPage(const std::string& page) {
    wxLogNull quiet; // the result is not checked, and no error box either
    wxLaunchDefaultBrowser(wxFileName::FileNameToURL(wxFileName(toWx(page))));
}

} // namespace korvelt::gui
