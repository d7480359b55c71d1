#pragma once

#include <wx/control.h>
#include <wx/timer.h>

class wxTextCtrl;

namespace korvelt::gui {

// A pair of arrow buttons, one above the other, that steps a whole number within a range
// (0 to 100 unless set otherwise) and writes it into the edit box it is attached to, as
// a plain number. Before each step it takes the number the edit box shows, so a value
// typed there is the one stepped from. A held button repeats; the arrow keys in the edit
// box step as well. Each step sends wxEVT_SPIN_UP or wxEVT_SPIN_DOWN and then wxEVT_SPIN
// with the new position.
//
// Drawn by the program itself so that it fits the few dialog units the layout gives it;
// the toolkit's own spin button needs far more room.
class UpDownControl final : public wxControl {
public:
    UpDownControl(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

    // Writes the position into `buddy` at every step, and takes over its arrow keys.
    void attach(wxTextCtrl* buddy);

    int GetValue() const { return value_; }
    void SetValue(int value);
    void SetRange(int minimum, int maximum);
    int GetMin() const { return min_; }
    int GetMax() const { return max_; }

    // One step up (+1) or down (-1), as a click on that arrow.
    void step(int direction);

    bool AcceptsFocus() const override { return false; }

protected:
    wxSize DoGetBestSize() const override;

private:
    void onPaint(wxPaintEvent& event);
    void onLeftDown(wxMouseEvent& event);
    void onLeftUp(wxMouseEvent& event);
    void onCaptureLost(wxMouseCaptureLostEvent& event);
    void onTimer(wxTimerEvent& event);
    void onBuddyKey(wxKeyEvent& event);
    void release();

    wxTextCtrl* buddy_ = nullptr;
    int value_ = 0;
    int min_ = 0;
    int max_ = 100;
    int pressed_ = 0; // +1 upper arrow held, -1 lower arrow held, 0 none
    wxTimer repeat_;
};

} // namespace korvelt::gui
