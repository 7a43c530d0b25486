#include "toolkit/Forms.h"

#include "toolkit/Exception.h"
#include "toolkit/ImgList.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/TaskWindows.h"
#include "toolkit/WindowBinding.h"

namespace tk {

namespace {

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

// The DPI of the monitor a window is on. Windows before 10 (1607) have no
// per-window DPI: there the system's DPI is the window's until Windows sends
// WM_DPICHANGED. Looked up at run time, so the program still starts on them.
int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : ScreenDpi();
}

// "MS Sans Serif" 8 pt at `dpi` (height -11 at 96).
HFONT NewFormFont(int dpi) {
    return ::CreateFontA(-::MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                         "MS Sans Serif");
}

} // namespace

void TForm::CollectControls(TWinControl* container, std::vector<TControl*>& out) {
    for (int i = 0; i < container->ControlCount(); ++i) {
        TControl* c = container->Controls(i);
        out.push_back(c);
        if (auto* inner = dynamic_cast<TWinControl*>(c)) CollectControls(inner, out);
    }
}

HWND ScreenActiveControl() noexcept {
    HWND focus = ::GetFocus();
    if (TForm* form = TForm::FormOf(focus); form && focus != form->Handle()) return focus;
    if (TForm::activeForm_) return TForm::activeForm_->ActiveControl();
    return nullptr;
}

const char* TForm::RegisterFormClass(const char* typeName) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &ClassWndProc;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = typeName;
    if (Application) wc.hIcon = Application->Icon().Handle();
    return RegisterToolkitClass(wc);
}

TForm::TForm(TComponent* owner, const char* windowClass) : TWinControl(owner) {
    const char* className = RegisterFormClass(windowClass && *windowClass ? windowClass : "TForm");
    HWND owningWindow = Application ? Application->Handle() : nullptr;
    HWND window = ::CreateWindowExA(FrameExStyle(), className, "", FrameStyle() | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 320, 240, owningWindow, nullptr, ::GetModuleHandleA(nullptr),
                                    static_cast<TControl*>(this));
    if (!window) throw Exception("Cannot create the form's window");
    dpi_ = WindowDpi(window);
    font_.reset(NewFormFont(dpi_));
    ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (Application && Application->Icon().Handle()) {
        ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Application->Icon().Handle()));
        if (!Application->smallIcon_.Empty())
            ::SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Application->smallIcon_.Handle()));
    }
}

TForm::~TForm() {
    // Reached without BeforeDestruction (plain delete): the derived parts are
    // gone, so OnDestroy is not raised; still free the components first.
    if (activeForm_ == this) activeForm_ = nullptr;
    DestroyComponents();
    if (Application && Application->mainForm_ == this) Application->mainForm_ = nullptr;
}

void TForm::BeforeDestruction() {
    if (!destroyed_) {
        destroyed_ = true;
        SafeCall([this] {
            if (OnDestroy) OnDestroy(this);
        });
    }
    // The components (tray icons and the like) may still use the window.
    DestroyComponents();
    if (activeForm_ == this) activeForm_ = nullptr;
    if (Application && Application->mainForm_ == this) {
        Application->mainForm_ = nullptr;
        // Destroyed by the program rather than at the application's end.
        if (!Application->formsDestroyed_) Application->Terminate();
    }
    TWinControl::BeforeDestruction();
}

void TForm::AfterConstruction() {
    if (created_) return;
    created_ = true;
    LoadedAll();
    SafeCall([this] {
        if (OnCreate) OnCreate(this);
    });
}

DWORD TForm::FrameStyle() const {
    DWORD style = WS_CAPTION | WS_CLIPSIBLINGS;
    switch (borderStyle_) {
    case TFormBorderStyle::bsSingle: style |= WS_OVERLAPPED | WS_BORDER; break;
    case TFormBorderStyle::bsDialog: style |= WS_POPUP | DS_MODALFRAME; break;
    case TFormBorderStyle::bsSizeable: style |= WS_OVERLAPPED | WS_THICKFRAME; break;
    }
    if (borderIcons_ & biSystemMenu) {
        style |= WS_SYSMENU;
        if (borderStyle_ != TFormBorderStyle::bsDialog) {
            if (borderIcons_ & biMinimize) style |= WS_MINIMIZEBOX;
            if (borderIcons_ & biMaximize) style |= WS_MAXIMIZEBOX;
        }
    }
    return style;
}

DWORD TForm::FrameExStyle() const {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (borderStyle_ == TFormBorderStyle::bsDialog) ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    return ex;
}

void TForm::UpdateFrame() {
    constexpr DWORD frameBits = WS_CAPTION | WS_POPUP | WS_BORDER | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX |
                                WS_MAXIMIZEBOX | DS_MODALFRAME;
    const DWORD style = (static_cast<DWORD>(::GetWindowLongA(handle_, GWL_STYLE)) & ~frameBits) | FrameStyle();
    ::SetWindowLongA(handle_, GWL_STYLE, static_cast<LONG>(style));
    const DWORD exBits = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    const DWORD ex = (static_cast<DWORD>(::GetWindowLongA(handle_, GWL_EXSTYLE)) & ~exBits) | FrameExStyle();
    ::SetWindowLongA(handle_, GWL_EXSTYLE, static_cast<LONG>(ex));
    ::SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (clientWidth_ > 0 || clientHeight_ > 0) SetClientSize(clientWidth_, clientHeight_);
}

void TForm::SetBorderStyle(TFormBorderStyle style) {
    borderStyle_ = style;
    UpdateFrame();
}

void TForm::SetBorderIcons(TBorderIcons icons) {
    borderIcons_ = icons;
    UpdateFrame();
}

void TForm::SetCaption(const std::string& caption) { ::SetWindowTextA(handle_, caption.c_str()); }

int TForm::ClientWidth() const {
    RECT r{};
    ::GetClientRect(handle_, &r);
    return Unscaled(r.right);
}

int TForm::ClientHeight() const {
    RECT r{};
    ::GetClientRect(handle_, &r);
    return Unscaled(r.bottom);
}

void TForm::SetClientSize(int width, int height) {
    clientWidth_ = width;
    clientHeight_ = height;
    const int wantedWidth = Scaled(width);
    const int wantedHeight = Scaled(height);
    RECT r{0, 0, wantedWidth, wantedHeight};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongA(handle_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(handle_, GWL_EXSTYLE)));
    ::SetWindowPos(handle_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame computed above is the system DPI's; on a monitor of another
    // scale it differs, so the client area is measured and the rest made up.
    RECT client{};
    ::GetClientRect(handle_, &client);
    if (client.right == wantedWidth && client.bottom == wantedHeight) return;
    ::SetWindowPos(handle_, nullptr, 0, 0, r.right - r.left + wantedWidth - client.right,
                   r.bottom - r.top + wantedHeight - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ChangeDpi(int dpi, const RECT& bounds) {
    if (dpi <= 0) return;
    std::vector<TControl*> controls;
    CollectControls(this, controls);
    struct TPlace {
        int left, top, width, height;  // at 96 DPI
    };
    std::vector<TPlace> layout;
    for (TControl* c : controls) layout.push_back({c->Left(), c->Top(), c->Width(), c->Height()});

    const int oldDpi = dpi_;
    dpi_ = dpi;
    // The old font stays alive until every control has let go of it.
    UniqueFont oldFont(font_.release());
    font_.reset(NewFormFont(dpi_));
    ::SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    ::SetWindowPos(handle_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    for (size_t i = 0; i < controls.size(); ++i)
        controls[i]->SetBounds(layout[i].left, layout[i].top, layout[i].width, layout[i].height);
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* images = dynamic_cast<TImageList*>(Components(i))) images->SetDpi(dpi_);
    for (TControl* c : controls) c->DpiChanged(oldDpi, dpi_);
    Realign();
    ::RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm::SetWindowState(TWindowState state) {
    windowState_ = state;
    if (!Visible()) return;
    const bool isMain = Application && Application->MainForm() == this;
    if (isMain) {
        if (state == TWindowState::wsMinimized)
            Application->Minimize();
        else if (Application->IsMinimized())
            Application->Restore();
    } else {
        ::ShowWindow(handle_, state == TWindowState::wsMinimized ? SW_MINIMIZE : SW_RESTORE);
    }
}

void TForm::ApplyPosition() {
    RECT r{};
    ::GetWindowRect(handle_, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    RECT area{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    switch (Position) {
    case TPosition::poDesigned: return;
    case TPosition::poScreenCenter: break;
    case TPosition::poMainFormCenter: {
        TForm* main = Application ? Application->MainForm() : nullptr;
        if (main && main != this) ::GetWindowRect(main->Handle(), &area);
        break;
    }
    }
    ::SetWindowPos(handle_, nullptr, area.left + ((area.right - area.left) - width) / 2,
                   area.top + ((area.bottom - area.top) - height) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetVisible(bool visible) {
    if (visible) {
        if (::IsWindowVisible(handle_)) return;
        ApplyPosition();
        ::ShowWindow(handle_, SW_SHOW);
    } else {
        ::ShowWindow(handle_, SW_HIDE);
    }
}

void TForm::Close() {
    if (modal_) {
        ModalResult = mrCancel;
        return;
    }
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    if (!canClose) return;
    if (Application && Application->MainForm() == this)
        Application->Terminate();
    else
        Hide();
}

TModalResult TForm::ShowModal() {
    if (modal_ || ::IsWindowVisible(handle_)) throw Exception("Cannot make a visible window modal");
    HWND previousActive = ::GetActiveWindow();
    ModalResult = mrNone;
    TDisabledTaskWindows disabled(handle_);
    modal_ = true;
    ScopeGuard restore([&] {
        // Hidden while the others are still disabled, so that activation
        // returns to the window that was active before rather than any other.
        ::ShowWindow(handle_, SW_HIDE);
        modal_ = false;
        disabled.Enable();
        if (previousActive && ::IsWindow(previousActive)) ::SetActiveWindow(previousActive);
    });
    Show();
    // Showing activates the window only while the program is in the foreground.
    if (::GetActiveWindow() != handle_) ::SetActiveWindow(handle_);
    if (!ActiveControl())
        if (HWND first = ::GetNextDlgTabItem(handle_, nullptr, FALSE)) ::SetFocus(first);
    while (Application && !Application->Terminated()) {
        if (ModalResult != mrNone) {
            bool canClose = true;
            if (OnCloseQuery) SafeCall([&] { OnCloseQuery(this, canClose); });
            if (canClose) break;
            ModalResult = mrNone;
        }
        if (!Application->HandleMessage()) break;
    }
    if (ModalResult == mrNone) ModalResult = mrCancel;
    return ModalResult;
}

HWND TForm::ActiveControl() const noexcept {
    HWND focus = ::GetFocus();
    if (focus && focus != handle_ && ::IsChild(handle_, focus)) return focus;
    if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsChild(handle_, lastFocus_)) return lastFocus_;
    return nullptr;
}

TButton* TForm::DefaultButton() const {
    std::vector<TControl*> all;
    CollectControls(const_cast<TForm*>(this), all);
    for (TControl* c : all)
        if (auto* b = dynamic_cast<TButton*>(c); b && b->Default()) return b;
    return nullptr;
}

TButton* TForm::CancelButton() const {
    std::vector<TControl*> all;
    CollectControls(const_cast<TForm*>(this), all);
    for (TControl* c : all)
        if (auto* b = dynamic_cast<TButton*>(c); b && b->Cancel()) return b;
    return nullptr;
}

TForm* TForm::FormOf(HWND window) noexcept {
    if (!window) return nullptr;
    HWND root = ::GetAncestor(window, GA_ROOT);
    return dynamic_cast<TForm*>(FromHandle(root));
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE: Close(); return 0;
    case WM_SYSCOMMAND:
        // The main form never becomes iconic: minimising it minimises the whole program.
        if ((wParam & 0xFFF0) == SC_MINIMIZE && Application && Application->MainForm() == this) {
            Application->Minimize();
            return 0;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = ::GetFocus();
            if (focus && focus != handle_ && ::IsChild(handle_, focus)) lastFocus_ = focus;
            return 0;
        }
        activeForm_ = this;
        if (!HIWORD(wParam)) {
            HWND target = ActiveControl();
            if (!target) target = ::GetNextDlgTabItem(handle_, nullptr, FALSE);
            ::SetFocus(target ? target : handle_);
        }
        if (OnActivate) OnActivate(this);
        return 0;
    case WM_SETFOCUS: {
        HWND target = ActiveControl();
        if (!target) target = ::GetNextDlgTabItem(handle_, nullptr, FALSE);
        if (target) ::SetFocus(target);
        return 0;
    }
    case WM_DESTROY:
        if (Application && Application->MainForm() == this && !Destroying()) Application->Terminate();
        break;
    case WM_DPICHANGED:
        ChangeDpi(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    default: break;
    }
    return TWinControl::WndProc(message, wParam, lParam);
}

} // namespace tk
