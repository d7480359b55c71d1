#pragma once

#include "platform/Notifier.h"

#include <wx/weakref.h>
#include <wx/window.h>

namespace korvelt {

class UiDispatcher;

namespace gui {

// The program's messages as modal message boxes owned by the main window, with the title,
// text and icon of each message. A message raised on another thread (the render thread)
// is handed to the user-interface thread, and the sender waits until the box has been
// dismissed; once the window has gone (the dispatcher shut down) such a message is
// dropped instead of blocking its sender.
class WxNotifier final : public Notifier {
public:
    explicit WxNotifier(UiDispatcher& dispatcher) : dispatcher_(dispatcher) {}

    // The window that owns the boxes (user-interface thread only).
    void setOwner(wxWindow* owner) { owner_ = owner; }

    void show(Severity severity, const std::string& title, const std::string& text) override;

private:
    void showBox(Severity severity, const std::string& title, const std::string& text);

    UiDispatcher& dispatcher_;
    wxWeakRef<wxWindow> owner_;
};

} // namespace gui
} // namespace korvelt
