#include "app/gui/AboutBox.h"

#include "app/gui/DialogUnits.h"
#include "app/gui/ProgramIcon.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

namespace korvelt::gui {

AboutBox::AboutBox(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, kCaption, wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
    setClientSizeInDialogUnits(*this, kWidth, kHeight);
    const wxRect icon = toPixels(*this, {14, 14, 24, 24});
    const wxSize iconSize = FromDIP(wxSize(48, 48));
    new wxStaticBitmap(this, wxID_ANY, programBitmap(iconSize.x), icon.GetPosition(), iconSize);
    const wxRect line = toPixels(*this, {52, 24, 140, 8});
    new wxStaticText(this, wxID_ANY, kVersionLine, line.GetPosition(), line.GetSize());
    const wxRect ok = toPixels(*this, {79, 96, 50, 14});
    auto* button = new wxButton(this, kOk, "OK", ok.GetPosition(), ok.GetSize());
    button->SetDefault();
    button->SetFocus();
    SetAffirmativeId(kOk);
    SetEscapeId(kOk);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_OK); }, kOk);
    CentreOnParent();
}

} // namespace korvelt::gui
