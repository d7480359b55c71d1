#pragma once

#include "app/MainView.h"

#include <optional>
#include <string>

class wxWindow;
class wxFileDialog;

namespace korvelt::gui {

// The file dialog for a request of the main window's logic or of the Options dialog: an
// open or save dialog (no overwrite question) with the request's filter, starting in its
// directory, no file name filled in. None when the user cancels.
std::optional<FileChoice> chooseFile(wxWindow* parent, const FileDialogRequest& request);

// The answer of a dialog that ended with OK, completed with the default extension: a name
// typed without an extension gets it, in a save dialog always and in an open dialog when
// no file of the typed name exists (the file with the extension is meant then).
FileChoice fileChoice(const wxFileDialog& dialog, const std::string& defaultExtension, bool save);

// A file name typed without an extension, completed with `defaultExtension` (".wav") as
// described above; `exists` tells whether a file of the name as typed exists.
std::string withDefaultExtension(const std::string& path, const std::string& defaultExtension,
                                 bool save, bool exists);

} // namespace korvelt::gui
