#include "app/gui/UpDownControl.h"

#include <wx/dcbuffer.h>
#include <wx/renderer.h>
#include <wx/settings.h>
#include <wx/spinbutt.h>
#include <wx/textctrl.h>

#include <algorithm>

namespace korvelt::gui {
namespace {

constexpr int kFirstRepeatMs = 400;
constexpr int kRepeatMs = 60;

// The number an edit box shows, if it shows one (an optional sign, then digits only).
bool readNumber(const wxString& text, int& out) {
    long value = 0;
    wxString trimmed = text;
    trimmed.Trim(true).Trim(false);
    if (trimmed.empty() || !trimmed.ToLong(&value))
        return false;
    out = static_cast<int>(std::clamp<long>(value, -1000000, 1000000));
    return true;
}

} // namespace

UpDownControl::UpDownControl(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                             const wxSize& size)
    : wxControl(parent, id, pos, size, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE), repeat_(this) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &UpDownControl::onPaint, this);
    Bind(wxEVT_LEFT_DOWN, &UpDownControl::onLeftDown, this);
    Bind(wxEVT_LEFT_DCLICK, &UpDownControl::onLeftDown, this);
    Bind(wxEVT_LEFT_UP, &UpDownControl::onLeftUp, this);
    Bind(wxEVT_MOUSE_CAPTURE_LOST, &UpDownControl::onCaptureLost, this);
    Bind(wxEVT_TIMER, &UpDownControl::onTimer, this);
}

void UpDownControl::attach(wxTextCtrl* buddy) {
    buddy_ = buddy;
    if (buddy_ != nullptr)
        buddy_->Bind(wxEVT_KEY_DOWN, &UpDownControl::onBuddyKey, this);
}

void UpDownControl::SetValue(int value) {
    value_ = std::clamp(value, min_, max_);
    Refresh();
}

void UpDownControl::SetRange(int minimum, int maximum) {
    min_ = std::min(minimum, maximum);
    max_ = std::max(minimum, maximum);
    value_ = std::clamp(value_, min_, max_);
}

void UpDownControl::step(int direction) {
    int from = value_;
    if (buddy_ != nullptr && readNumber(buddy_->GetValue(), from))
        from = std::clamp(from, min_, max_);
    const int to = std::clamp(from + (direction > 0 ? 1 : -1), min_, max_);

    wxSpinEvent stepEvent(direction > 0 ? wxEVT_SPIN_UP : wxEVT_SPIN_DOWN, GetId());
    stepEvent.SetEventObject(this);
    stepEvent.SetPosition(to);
    if (GetEventHandler()->ProcessEvent(stepEvent) && !stepEvent.IsAllowed())
        return;

    value_ = to;
    if (buddy_ != nullptr)
        buddy_->ChangeValue(wxString::Format("%d", value_));
    wxSpinEvent changed(wxEVT_SPIN, GetId());
    changed.SetEventObject(this);
    changed.SetPosition(value_);
    GetEventHandler()->ProcessEvent(changed);
    Refresh();
}

wxSize UpDownControl::DoGetBestSize() const {
    return FromDIP(wxSize(16, 24));
}

void UpDownControl::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
    const int half = size.y / 2;
    const wxRect upper(0, 0, size.x, half);
    const wxRect lower(0, half, size.x, size.y - half);
    wxRendererNative& renderer = wxRendererNative::Get();
    const int disabled = IsEnabled() ? 0 : int(wxCONTROL_DISABLED);
    renderer.DrawPushButton(this, dc, upper,
                            disabled | (pressed_ > 0 ? int(wxCONTROL_PRESSED) : 0));
    renderer.DrawPushButton(this, dc, lower,
                            disabled | (pressed_ < 0 ? int(wxCONTROL_PRESSED) : 0));

    // The arrows: small filled triangles in the text colour of buttons.
    const wxColour ink =
        wxSystemSettings::GetColour(IsEnabled() ? wxSYS_COLOUR_BTNTEXT : wxSYS_COLOUR_GRAYTEXT);
    dc.SetPen(wxPen(ink));
    dc.SetBrush(wxBrush(ink));
    const int w = std::max(3, std::min(size.x - 6, (half - 4) * 2));
    const int h = std::max(2, w / 2);
    const int cx = size.x / 2;
    const wxPoint up[] = {{cx - w / 2, upper.y + (half + h) / 2},
                          {cx + w / 2, upper.y + (half + h) / 2},
                          {cx, upper.y + (half - h) / 2}};
    const int ly = lower.y;
    const int lh = lower.height;
    const wxPoint down[] = {
        {cx - w / 2, ly + (lh - h) / 2}, {cx + w / 2, ly + (lh - h) / 2}, {cx, ly + (lh + h) / 2}};
    dc.DrawPolygon(3, up);
    dc.DrawPolygon(3, down);
}

void UpDownControl::onLeftDown(wxMouseEvent& event) {
    if (!IsEnabled())
        return;
    pressed_ = event.GetY() < GetClientSize().y / 2 ? 1 : -1;
    if (!HasCapture())
        CaptureMouse();
    step(pressed_);
    repeat_.StartOnce(kFirstRepeatMs);
}

void UpDownControl::onLeftUp(wxMouseEvent&) {
    release();
}

void UpDownControl::onCaptureLost(wxMouseCaptureLostEvent&) {
    pressed_ = 0;
    repeat_.Stop();
    Refresh();
}

void UpDownControl::release() {
    repeat_.Stop();
    pressed_ = 0;
    if (HasCapture())
        ReleaseMouse();
    Refresh();
}

void UpDownControl::onTimer(wxTimerEvent&) {
    if (pressed_ == 0)
        return;
    step(pressed_);
    repeat_.StartOnce(kRepeatMs);
}

void UpDownControl::onBuddyKey(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
    case WXK_UP:
    case WXK_NUMPAD_UP:
        step(1);
        break;
    case WXK_DOWN:
    case WXK_NUMPAD_DOWN:
        step(-1);
        break;
    default:
        event.Skip();
        break;
    }
}

} // namespace korvelt::gui
