#include "app/gui/WxNotifier.h"

#include "app/UiDispatcher.h"
#include "app/gui/WxText.h"

#include <wx/msgdlg.h>

namespace korvelt::gui {

void WxNotifier::show(Severity severity, const std::string& title, const std::string& text) {
    // On the user-interface thread this runs at once; from another thread it waits until
    // the user has dismissed the box.
    dispatcher_.invokeAndWait([&] { showBox(severity, title, text); });
}

void WxNotifier::showBox(Severity severity, const std::string& title, const std::string& text) {
    const long icon = severity == Severity::Error ? wxICON_ERROR : wxICON_WARNING;
    wxMessageDialog box(owner_.get(), toWx(text), toWx(title), wxOK | icon);
    box.ShowModal();
}

} // namespace korvelt::gui
