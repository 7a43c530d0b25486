#include "toolkit/ExtCtrls.h"

#include "toolkit/WindowBinding.h"

namespace tk {

namespace {

// The toolkit's own control classes: plain windows whose painting the
// control objects do.
const char* ControlClass(const char* name) {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &TControl::ClassWndProc;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterToolkitClass(wc);
}

} // namespace

// ---- TImage

TImage::TImage(TWinControl* parent, int left, int top, int width, int height)
    : TControl(parent, ControlClass("tkImage"), 0) {
    SetBounds(left, top, width, height);
    icon_.OnChange = [this](TObject*) { ::InvalidateRect(handle_, nullptr, TRUE); };
}

LRESULT TImage::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(handle_, &ps);
        // Filling the control, which follows the display scale; an icon of
        // the control's size (the application's at the system's scale) is
        // drawn as it is.
        RECT r{};
        ::GetClientRect(handle_, &r);
        if (icon_.Handle()) ::DrawIconEx(dc, 0, 0, icon_.Handle(), r.right, r.bottom, 0, nullptr, DI_NORMAL);
        ::EndPaint(handle_, &ps);
        return 0;
    }
    return TControl::WndProc(message, wParam, lParam);
}

// ---- TBevel

TBevel::TBevel(TWinControl* parent, int left, int top, int width, int height)
    : TControl(parent, ControlClass("tkBevel"), 0) {
    SetBounds(left, top, width, height);
}

void TBevel::SetShape(TBevelShape shape) {
    shape_ = shape;
    ::InvalidateRect(handle_, nullptr, TRUE);
}

void TBevel::SetStyle(TBevelStyle style) {
    style_ = style;
    ::InvalidateRect(handle_, nullptr, TRUE);
}

LRESULT TBevel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(handle_, &ps);
        RECT r{};
        ::GetClientRect(handle_, &r);
        const bool lowered = style_ == TBevelStyle::bsLowered;
        // A line is a shadow and a highlight pixel row (or column) side by side.
        const UINT lineEdge = lowered ? EDGE_ETCHED : EDGE_BUMP;
        switch (shape_) {
        case TBevelShape::bsBox: ::DrawEdge(dc, &r, lowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT); break;
        case TBevelShape::bsFrame: ::DrawEdge(dc, &r, lineEdge, BF_RECT); break;
        case TBevelShape::bsTopLine: ::DrawEdge(dc, &r, lineEdge, BF_TOP); break;
        case TBevelShape::bsBottomLine: ::DrawEdge(dc, &r, lineEdge, BF_BOTTOM); break;
        case TBevelShape::bsLeftLine: ::DrawEdge(dc, &r, lineEdge, BF_LEFT); break;
        case TBevelShape::bsRightLine: ::DrawEdge(dc, &r, lineEdge, BF_RIGHT); break;
        case TBevelShape::bsSpacer: break;
        }
        ::EndPaint(handle_, &ps);
        return 0;
    }
    default: return TControl::WndProc(message, wParam, lParam);
    }
}

// ---- TPanel

TPanel::TPanel(TWinControl* parent, int left, int top, int width, int height)
    : TWinControl(parent, ControlClass("tkPanel"), WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT) {
    SetBounds(left, top, width, height);
}

void TPanel::SetBevelOuter(TPanelBevel bevel) {
    bevelOuter_ = bevel;
    ::InvalidateRect(handle_, nullptr, TRUE);
}

void TPanel::SetCaption(const std::string& caption) {
    TWinControl::SetCaption(caption);
    ::InvalidateRect(handle_, nullptr, TRUE);
}

LRESULT TPanel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(handle_, &ps);
        RECT r{};
        ::GetClientRect(handle_, &r);
        if (bevelOuter_ == TPanelBevel::bvRaised) ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
        if (bevelOuter_ == TPanelBevel::bvLowered) ::DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
        const std::string caption = Caption();
        if (!caption.empty()) {
            HGDIOBJ old = ::SelectObject(dc, Font());
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
            ::DrawTextA(dc, caption.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            ::SelectObject(dc, old);
        }
        ::EndPaint(handle_, &ps);
        return 0;
    }
    return TWinControl::WndProc(message, wParam, lParam);
}

} // namespace tk
