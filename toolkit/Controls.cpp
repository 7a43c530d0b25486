#include "toolkit/Controls.h"

#include "toolkit/ErrorPolicy.h"
#include "toolkit/Exception.h"
#include "toolkit/WindowBinding.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>

namespace tk {

namespace {
// The subclass of a control's own object; other subclasses on the window use other ids.
constexpr UINT_PTR kControlSubclassId = 0x746B; // "tk"

bool IsToolkitClass(HWND window) noexcept {
    return reinterpret_cast<WNDPROC>(::GetClassLongPtrA(window, GCLP_WNDPROC)) == &TControl::ClassWndProc;
}
} // namespace

TControl::TControl(TComponent* owner) : TComponent(owner) {}

TControl::TControl(TWinControl* parent, const char* className, DWORD style, DWORD exStyle)
    : TComponent(parent ? parent->Root() : nullptr) {
    if (!parent || !parent->Handle()) throw Exception("Control has no parent window");
    const int id = TWinControl::NextControlId(parent);
    WNDCLASSA own{};
    const bool toolkitClass = ::GetClassInfoA(::GetModuleHandleA(nullptr), className, &own) &&
                              own.lpfnWndProc == &ClassWndProc;
    HWND window = ::CreateWindowExA(exStyle, className, "", style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent->Handle(),
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleA(nullptr),
                                    toolkitClass ? this : nullptr);
    if (!window) throw Exception(Format("Cannot create a window of class %s", className));
    if (!toolkitClass) {
        if (!::SetWindowSubclass(window, &SubclassProc, kControlSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
            ::DestroyWindow(window);
            throw Exception(Format("Cannot create a window of class %s", className));
        }
        handle_ = window;
        subclassed_ = true;
    }
    parent_ = parent;
    parent->controls_.push_back(this);
    ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
}

TControl::~TControl() {
    if (parent_) {
        auto& siblings = parent_->controls_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
        parent_ = nullptr;
    }
    HWND window = handle_;
    Detach();
    if (window) ::DestroyWindow(window);
}

void TControl::Detach() noexcept {
    if (!handle_) return;
    if (subclassed_)
        ::RemoveWindowSubclass(handle_, &SubclassProc, kControlSubclassId);
    else
        UnbindObject(handle_);
    handle_ = nullptr;
}

TControl* TControl::FromHandle(HWND window) noexcept {
    if (!window) return nullptr;
    if (IsToolkitClass(window)) return reinterpret_cast<TControl*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    // A system-class control is found among its container's children.
    HWND parent = (::GetWindowLongA(window, GWL_STYLE) & WS_CHILD) ? ::GetParent(window) : nullptr;
    auto* container = dynamic_cast<TWinControl*>(parent && IsToolkitClass(parent) ? FromHandle(parent) : nullptr);
    if (!container) return nullptr;
    for (TControl* child : container->controls_)
        if (child->handle_ == window) return child;
    return nullptr;
}

LRESULT CALLBACK TControl::ClassWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TControl* self = BoundObject<TControl>(window, message, lParam);
    if (!self) return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCCREATE) self->handle_ = window;
    return CallGuarded(TErrorPolicy::ShowErrorBox, "window procedure", window, LRESULT(0),
                       [&] { return self->WndProc(message, wParam, lParam); });
}

LRESULT CALLBACK TControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR self) {
    return CallGuarded(TErrorPolicy::ShowErrorBox, "window procedure", window, LRESULT(0), [&] {
        return reinterpret_cast<TControl*>(self)->WndProc(message, wParam, lParam);
    });
}

LRESULT TControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY) {
        // The window is going: the object lets go of it, the window's own
        // procedure still sees the message.
        HWND window = handle_;
        const bool subclassed = subclassed_;
        Detach();
        return subclassed ? ::DefSubclassProc(window, message, wParam, lParam)
                          : ::DefWindowProcA(window, message, wParam, lParam);
    }
    return DefaultHandler(message, wParam, lParam);
}

LRESULT TControl::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam) {
    return subclassed_ ? ::DefSubclassProc(handle_, message, wParam, lParam)
                       : ::DefWindowProcA(handle_, message, wParam, lParam);
}

TWinControl* TControl::Root() const noexcept {
    const TControl* top = this;
    while (top->parent_) top = top->parent_;
    return dynamic_cast<TWinControl*>(const_cast<TControl*>(top));
}

namespace {
RECT BoundsInParent(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    HWND parent = (::GetWindowLongA(window, GWL_STYLE) & WS_CHILD) ? ::GetParent(window) : nullptr;
    if (parent) ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
} // namespace

// Forms (no parent) are placed in screen pixels; controls at 96 DPI.
int TControl::Left() const {
    const int left = BoundsInParent(handle_).left;
    return parent_ ? Unscaled(left) : left;
}
int TControl::Top() const {
    const int top = BoundsInParent(handle_).top;
    return parent_ ? Unscaled(top) : top;
}
int TControl::Width() const {
    RECT r = BoundsInParent(handle_);
    return parent_ ? Unscaled(r.right - r.left) : r.right - r.left;
}
int TControl::Height() const {
    RECT r = BoundsInParent(handle_);
    return parent_ ? Unscaled(r.bottom - r.top) : r.bottom - r.top;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (parent_) {
        left = Scaled(left);
        top = Scaled(top);
        width = Scaled(width);
        height = Scaled(height);
    }
    ::SetWindowPos(handle_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (align_ != TAlign::alNone && parent_) parent_->Realign();
}

int TControl::Dpi() const noexcept {
    const TWinControl* form = Root();
    return form ? form->FormDpi() : 96;
}

void TControl::DpiChanged(int, int) { FontChanged(); }
void TControl::SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
void TControl::SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
void TControl::SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
void TControl::SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }

std::string TControl::Caption() const {
    const int length = ::GetWindowTextLengthA(handle_);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int got = ::GetWindowTextA(handle_, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void TControl::SetCaption(const std::string& caption) {
    ::SetWindowTextA(handle_, caption.c_str());
    AdjustSize();
}

bool TControl::Visible() const { return (::GetWindowLongA(handle_, GWL_STYLE) & WS_VISIBLE) != 0; }

void TControl::SetVisible(bool visible) {
    ::ShowWindow(handle_, visible ? SW_SHOWNA : SW_HIDE);
    if (align_ != TAlign::alNone && parent_) parent_->Realign();
}

bool TControl::Enabled() const { return ::IsWindowEnabled(handle_) != FALSE; }
void TControl::SetEnabled(bool enabled) { ::EnableWindow(handle_, enabled ? TRUE : FALSE); }
void TControl::SetFocus() { ::SetFocus(handle_); }
bool TControl::Focused() const { return handle_ && ::GetFocus() == handle_; }

void TControl::SetTabStop(bool tabStop) {
    LONG style = ::GetWindowLongA(handle_, GWL_STYLE);
    style = tabStop ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    ::SetWindowLongA(handle_, GWL_STYLE, style);
}

void TControl::SetAlign(TAlign align) {
    align_ = align;
    if (parent_) parent_->Realign();
}

void TControl::SetFontColor(TColor color) {
    fontColor_ = color;
    ::InvalidateRect(handle_, nullptr, TRUE);
}

void TControl::SetFontStyles(TFontStyles styles) {
    fontStyles_ = styles;
    FontChanged();
}

HFONT TControl::Font() const noexcept {
    if (ownFont_) return ownFont_.get();
    if (TWinControl* form = Root(); form && form->FormFont()) return form->FormFont();
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

void TControl::FontChanged() {
    UniqueFont font;
    if (fontStyles_ != 0) {
        LOGFONTA lf{};
        TWinControl* form = Root();
        HFONT base = form && form->FormFont() ? form->FormFont() : static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
        ::GetObjectA(base, sizeof lf, &lf);
        lf.lfWeight = (fontStyles_ & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (fontStyles_ & fsItalic) ? TRUE : FALSE;
        lf.lfUnderline = (fontStyles_ & fsUnderline) ? TRUE : FALSE;
        lf.lfStrikeOut = (fontStyles_ & fsStrikeOut) ? TRUE : FALSE;
        font.reset(::CreateFontIndirectA(&lf));
    }
    // The window lets go of the old font before it is deleted.
    std::swap(font, ownFont_);
    ::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), TRUE);
    AdjustSize();
    ::InvalidateRect(handle_, nullptr, TRUE);
}

HBRUSH TControl::CtlColor(HDC dc) {
    if (fontColor_ == clDefault) return nullptr;
    ::SetTextColor(dc, fontColor_);
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

char TControl::Accelerator() const {
    const std::string caption = Caption();
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(std::toupper(static_cast<unsigned char>(caption[i + 1])));
    }
    return 0;
}

bool TControl::AcceleratorPressed() {
    if (!::IsWindowVisible(handle_) || !::IsWindowEnabled(handle_)) return false;
    SetFocus();
    return true;
}

namespace {
int g_nextControlId = 100;
}

int TWinControl::NextControlId(TWinControl*) {
    // Ids stay clear of IDOK/IDCANCEL and fit the 16 bits of WM_COMMAND.
    if (g_nextControlId > 0xFFF0) g_nextControlId = 100;
    return g_nextControlId++;
}

void TWinControl::Realign() {
    if (!handle_) return;
    RECT r{};
    ::GetClientRect(handle_, &r);
    // In the window's own pixels throughout.
    for (TControl* c : controls_) {
        if (c->align_ == TAlign::alNone || !c->Visible()) continue;
        const RECT own = BoundsInParent(c->handle_);
        const int w = own.right - own.left;
        const int h = own.bottom - own.top;
        RECT b{};
        switch (c->align_) {
        case TAlign::alTop: b = {r.left, r.top, r.right, r.top + h}; r.top += h; break;
        case TAlign::alBottom: b = {r.left, r.bottom - h, r.right, r.bottom}; r.bottom -= h; break;
        case TAlign::alLeft: b = {r.left, r.top, r.left + w, r.bottom}; r.left += w; break;
        case TAlign::alRight: b = {r.right - w, r.top, r.right, r.bottom}; r.right -= w; break;
        case TAlign::alClient: b = r; break;
        case TAlign::alNone: break;
        }
        ::SetWindowPos(c->handle_, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top,
                       SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            TControl* child = FromHandle(reinterpret_cast<HWND>(lParam));
            if (child && child != this && child->CommandNotify(HIWORD(wParam))) return 0;
        }
        break;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        TControl* child = header ? FromHandle(header->hwndFrom) : nullptr;
        LRESULT result = 0;
        if (child && child != this && child->Notify(header, result)) return result;
        break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lParam) {
            TControl* child = FromHandle(reinterpret_cast<HWND>(lParam));
            if (child && child != this && child->ScrollNotify(message, wParam)) return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
        TControl* child = FromHandle(reinterpret_cast<HWND>(lParam));
        if (child && child != this)
            if (HBRUSH brush = child->CtlColor(reinterpret_cast<HDC>(wParam))) return reinterpret_cast<LRESULT>(brush);
        break;
    }
    case WM_SIZE: {
        const LRESULT result = TControl::WndProc(message, wParam, lParam);
        if (wParam != SIZE_MINIMIZED) Realign();
        return result;
    }
    default: break;
    }
    return TControl::WndProc(message, wParam, lParam);
}

} // namespace tk
