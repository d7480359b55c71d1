#include "app/gui/FileDialogs.h"

#include "app/gui/WxText.h"
#include "platform/File.h"
#include "platform/Path.h"

#include <wx/filedlg.h>

namespace korvelt::gui {

std::string withDefaultExtension(const std::string& path, const std::string& defaultExtension,
                                 bool save, bool exists) {
    if (defaultExtension.empty() || !path::extension(path).empty())
        return path;
    if (!save && exists)
        return path;
    return path + defaultExtension;
}

FileChoice fileChoice(const wxFileDialog& dialog, const std::string& defaultExtension, bool save) {
    std::string chosen = fromWx(dialog.GetPath());
    if (chosen.empty()) {
        // GTK reports the full path only for a dialog that was on screen; a dialog answered
        // without being shown (assistive tools, tests) still has its directory and name.
        chosen = path::join(fromWx(dialog.GetDirectory()), fromWx(dialog.GetFilename()));
    }
    FileChoice choice;
    choice.path = withDefaultExtension(chosen, defaultExtension, save, file::exists(chosen));
    choice.fileName = path::fileName(choice.path);
    const std::string ext = path::extension(choice.fileName);
    choice.extension = ext.empty() ? ext : ext.substr(1);
    return choice;
}

std::optional<FileChoice> chooseFile(wxWindow* parent, const FileDialogRequest& request) {
    // "Name|*.a|All Files (*.*)|*": a trailing "||" would add an empty filter.
    std::string filter = request.filter;
    while (!filter.empty() && filter.back() == '|')
        filter.pop_back();
    const long style = request.save ? wxFD_SAVE : wxFD_OPEN;
    wxFileDialog dialog(parent, request.save ? wxString("Save As") : wxString("Open"),
                        toWx(request.startDirectory), wxString(), toWx(filter), style);
    if (dialog.ShowModal() != wxID_OK)
        return std::nullopt;
    return fileChoice(dialog, request.defaultExtension, request.save);
}

} // namespace korvelt::gui
