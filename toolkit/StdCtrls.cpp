#include "toolkit/StdCtrls.h"


#include <vector>

namespace tk {

// ---- TButton

TButton::TButton(TWinControl* parent, const std::string& caption, int left, int top, int width, int height)
    : TControl(parent, "BUTTON", BS_PUSHBUTTON | WS_TABSTOP) {
    SetBounds(left, top, width, height);
    SetCaption(caption);
}

void TButton::SetDefault(bool value) {
    default_ = value;
    ::SendMessageA(handle_, BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::Click() {
    if (TWinControl* form = Root()) form->SetModalResult(ModalResult);
    if (OnClick) OnClick(this);
}

bool TButton::CommandNotify(WORD code) {
    if (code != BN_CLICKED) return false;
    Click();
    return true;
}

bool TButton::AcceleratorPressed() {
    if (!::IsWindowVisible(handle_) || !::IsWindowEnabled(handle_)) return false;
    SetFocus();
    Click();
    return true;
}

// ---- TLabel

TLabel::TLabel(TWinControl* parent, const std::string& caption, int left, int top)
    : TControl(parent, "STATIC", SS_LEFT | SS_NOTIFY) {
    SetBounds(left, top, 0, 0);
    SetCaption(caption);
}

void TLabel::SetAutoSize(bool value) {
    autoSize_ = value;
    AdjustSize();
}

void TLabel::SetCaption(const std::string& caption) {
    TControl::SetCaption(caption);
    ::InvalidateRect(handle_, nullptr, TRUE);
}

void TLabel::AdjustSize() {
    if (!autoSize_ || !handle_) return;
    const std::string caption = Caption();
    HDC dc = ::GetDC(handle_);
    HGDIOBJ old = ::SelectObject(dc, Font());
    RECT r{0, 0, 0, 0};
    // An empty caption still keeps the height of one line.
    ::DrawTextA(dc, caption.empty() ? " " : caption.c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_EXPANDTABS);
    ::SelectObject(dc, old);
    ::ReleaseDC(handle_, dc);
    const int width = caption.empty() ? 0 : r.right - r.left;
    ::SetWindowPos(handle_, nullptr, 0, 0, width, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TLabel::FontChanged() { TControl::FontChanged(); }

LRESULT TLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
        if (!mouseInside_) {
            mouseInside_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, handle_, 0};
            ::TrackMouseEvent(&track);
            if (OnMouseEnter) OnMouseEnter(this);
        }
        break;
    case WM_MOUSELEAVE:
        mouseInside_ = false;
        if (OnMouseLeave) OnMouseLeave(this);
        break;
    default: break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

bool TLabel::CommandNotify(WORD code) {
    if (code != STN_CLICKED) return false;
    if (OnClick) OnClick(this);
    return true;
}

HBRUSH TLabel::CtlColor(HDC dc) {
    ::SetTextColor(dc, FontColor() == clDefault ? ::GetSysColor(COLOR_BTNTEXT) : FontColor());
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

bool TLabel::AcceleratorPressed() {
    if (!FocusControl) return false;
    HWND target = FocusControl->Handle();
    if (!::IsWindowVisible(target) || !::IsWindowEnabled(target)) return false;
    FocusControl->SetFocus();
    return true;
}

// ---- TLinkLabel

TLinkLabel::TLinkLabel(TWinControl* parent, const std::string& caption, int left, int top)
    : TLabel(parent, caption, left, top) {
    SetTabStop(true);
}

LRESULT TLinkLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE:
        // Enter opens the link rather than pressing the form's default button.
        if (wParam == VK_RETURN) return DefaultHandler(message, wParam, lParam) | DLGC_WANTMESSAGE;
        break;
    case WM_KEYDOWN:
        // Bit 30 marks a repeat: a key held down opens the link once.
        if ((wParam == VK_RETURN || wParam == VK_SPACE) && !(lParam & (1 << 30))) {
            if (OnClick) OnClick(this);
            return 0;
        }
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: ::InvalidateRect(handle_, nullptr, TRUE); break;
    case WM_PAINT: {
        if (wParam) break;
        // The static control paints into our DC, so the focus rectangle
        // lands on top of its text within the same update region.
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(handle_, &paint);
        ScopeGuard endPaint([&] { ::EndPaint(handle_, &paint); });
        TLabel::WndProc(message, reinterpret_cast<WPARAM>(dc), 0);
        if (Focused()) {
            RECT client{};
            ::GetClientRect(handle_, &client);
            ::DrawFocusRect(dc, &client);
        }
        return 0;
    }
    default: break;
    }
    return TLabel::WndProc(message, wParam, lParam);
}

HBRUSH TLinkLabel::CtlColor(HDC dc) {
    HBRUSH background = TLabel::CtlColor(dc);
    // Read at each paint, so that a switch to high contrast recolours the link.
    if (FontColor() == clDefault) ::SetTextColor(dc, ::GetSysColor(COLOR_HOTLIGHT));
    return background;
}

// ---- TEdit

TEdit::TEdit(TWinControl* parent, int left, int top, int width, int height)
    : TControl(parent, "EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE) {
    ::SendMessageA(handle_, EM_SETLIMITTEXT, 0, 0);
    SetBounds(left, top, width, height);
}

void TEdit::SelectAll() { ::SendMessageA(handle_, EM_SETSEL, 0, -1); }

bool TEdit::CommandNotify(WORD code) {
    if (code != EN_CHANGE) return false;
    if (OnChange) OnChange(this);
    return true;
}

// ---- TMemo

TMemo::TMemo(TWinControl* parent, int left, int top, int width, int height)
    : TControl(parent, "EDIT", ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP,
               WS_EX_CLIENTEDGE) {
    // Without this a multi-line box stops taking text at 30000 characters.
    ::SendMessageA(handle_, EM_SETLIMITTEXT, 0, 0);
    SetBounds(left, top, width, height);
}

void TMemo::Clear() { ::SetWindowTextA(handle_, ""); }

namespace {
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return ::SendMessageA(window, message, wParam, lParam);
}
} // namespace

int TMemo::LineCount() const {
    int count = static_cast<int>(Send(handle_, EM_GETLINECOUNT));
    const LRESULT lastStart = Send(handle_, EM_LINEINDEX, static_cast<WPARAM>(count - 1));
    if (count > 0 && Send(handle_, EM_LINELENGTH, static_cast<WPARAM>(lastStart)) == 0) --count;
    return count;
}

void TMemo::Append(const std::string& line, int keep) {
    // Each pass must shorten the text, or a line that will not go ends it.
    for (int lines = LineCount(); lines >= keep && lines > 0;) {
        DeleteLine(0);
        const int left = LineCount();
        if (left >= lines) break;
        lines = left;
    }
    Append(line);
}

void TMemo::Append(const std::string& line) {
    const int index = LineCount();
    LRESULT start = Send(handle_, EM_LINEINDEX, static_cast<WPARAM>(index));
    std::string text;
    if (start >= 0) {
        // The last displayed line is the empty one after a final line break.
        text = line + "\r\n";
    } else {
        start = Send(handle_, EM_LINEINDEX, static_cast<WPARAM>(index - 1));
        if (start < 0) return;
        start += Send(handle_, EM_LINELENGTH, static_cast<WPARAM>(start));
        text = "\r\n" + line;
        // The text now ends without a line break: add it so the next line starts fresh.
        text += "\r\n";
    }
    Send(handle_, EM_SETSEL, static_cast<WPARAM>(start), start);
    Send(handle_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TMemo::DeleteLine(int index) {
    const LRESULT start = Send(handle_, EM_LINEINDEX, static_cast<WPARAM>(index));
    if (start < 0) return;
    LRESULT end = Send(handle_, EM_LINEINDEX, static_cast<WPARAM>(index + 1));
    if (end < 0) end = start + Send(handle_, EM_LINELENGTH, static_cast<WPARAM>(start));
    Send(handle_, EM_SETSEL, static_cast<WPARAM>(start), end);
    Send(handle_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
}

std::string TMemo::Line(int index) const {
    const LRESULT start = Send(handle_, EM_LINEINDEX, static_cast<WPARAM>(index));
    if (start < 0) return std::string();
    const LRESULT length = Send(handle_, EM_LINELENGTH, static_cast<WPARAM>(start));
    // EM_GETLINE takes the buffer size in the buffer's first WORD.
    std::vector<char> buffer(static_cast<size_t>(length) + sizeof(WORD) + 1, '\0');
    *reinterpret_cast<WORD*>(buffer.data()) = static_cast<WORD>(length + 1);
    const LRESULT got = Send(handle_, EM_GETLINE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return std::string(buffer.data(), static_cast<size_t>(got > 0 ? got : 0));
}

bool TMemo::ReadOnly() const { return (::GetWindowLongA(handle_, GWL_STYLE) & ES_READONLY) != 0; }
void TMemo::SetReadOnly(bool value) { Send(handle_, EM_SETREADONLY, value ? TRUE : FALSE); }

bool TMemo::CommandNotify(WORD code) {
    if (code != EN_CHANGE) return false;
    if (OnChange) OnChange(this);
    return true;
}

// ---- TCheckBox

TCheckBox::TCheckBox(TWinControl* parent, const std::string& caption, int left, int top, int width, int height)
    : TControl(parent, "BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP) {
    SetBounds(left, top, width, height);
    SetCaption(caption);
}

bool TCheckBox::Checked() const { return ::SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void TCheckBox::SetChecked(bool value) {
    ::SendMessageA(handle_, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::CommandNotify(WORD code) {
    if (code != BN_CLICKED) return false;
    if (OnClick) OnClick(this);
    return true;
}

bool TCheckBox::AcceleratorPressed() {
    if (!::IsWindowVisible(handle_) || !::IsWindowEnabled(handle_)) return false;
    SetFocus();
    // BM_CLICK toggles the box and sends BN_CLICKED, as a mouse click does.
    ::SendMessageA(handle_, BM_CLICK, 0, 0);
    return true;
}

HBRUSH TCheckBox::CtlColor(HDC dc) { return TControl::CtlColor(dc); }

} // namespace tk
