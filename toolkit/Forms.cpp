#include "toolkit/Forms.h"

#include "toolkit/Exception.h"
#include "toolkit/StdCtrls.h"
#include "toolkit/WindowBinding.h"
#include "toolkit/Thread.h"

#include <commctrl.h>

#include <cctype>

namespace tk {

TApplication* Application = nullptr;

namespace {

// The form that was activated last; the screen's active form.
TForm* g_activeForm = nullptr;

constexpr UINT WM_TK_ACTIVATEFORM = WM_APP + 0x3F00;

int ScreenDpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ::ReleaseDC(nullptr, dc);
    return dpi > 0 ? dpi : 96;
}

void CollectControls(TWinControl* container, std::vector<TControl*>& out) {
    for (int i = 0; i < container->ControlCount(); ++i) {
        TControl* c = container->Controls(i);
        out.push_back(c);
        if (auto* inner = dynamic_cast<TWinControl*>(c)) CollectControls(inner, out);
    }
}

// ---- Message boxes centred on the screen

thread_local HHOOK t_centreHook = nullptr;

LRESULT CALLBACK CentreBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = t_centreHook;
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char className[16] = {};
        ::GetClassNameA(box, className, sizeof className);
        if (lstrcmpA(className, "#32770") == 0) {
            RECT r{};
            ::GetWindowRect(box, &r);
            const int width = r.right - r.left;
            const int height = r.bottom - r.top;
            ::SetWindowPos(box, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            // Only the box itself: later dialogs of its owner keep their place.
            ::UnhookWindowsHookEx(hook);
            t_centreHook = nullptr;
            return 0;
        }
    }
    return ::CallNextHookEx(hook, code, wParam, lParam);
}

// The other enabled, visible top-level windows of this thread, disabled while
// a modal window is up.
struct DisabledWindows {
    HWND except;
    std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM param) {
    auto* list = reinterpret_cast<DisabledWindows*>(param);
    if (window != list->except && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        list->windows.push_back(window);
        ::EnableWindow(window, FALSE);
    }
    return TRUE;
}

void DisableTaskWindows(DisabledWindows& list) {
    ::EnumThreadWindows(::GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&list));
}

void EnableTaskWindows(DisabledWindows& list) {
    for (auto it = list.windows.rbegin(); it != list.windows.rend(); ++it)
        if (::IsWindow(*it)) ::EnableWindow(*it, TRUE);
    list.windows.clear();
}

} // namespace

int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
    HHOOK previous = t_centreHook;
    t_centreHook = ::SetWindowsHookExA(WH_CBT, &CentreBoxHook, nullptr, ::GetCurrentThreadId());
    ScopeGuard unhook([previous] {
        if (t_centreHook) ::UnhookWindowsHookEx(t_centreHook);
        t_centreHook = previous;
    });
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

HWND ScreenActiveControl() noexcept {
    HWND focus = ::GetFocus();
    if (TForm* form = TForm::FormOf(focus); form && focus != form->Handle()) return focus;
    if (g_activeForm) return g_activeForm->ActiveControl();
    return nullptr;
}

// ---- TForm

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
    font_.reset(::CreateFontA(-::MulDiv(8, ScreenDpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              "MS Sans Serif"));
    const char* className = RegisterFormClass(windowClass && *windowClass ? windowClass : "TForm");
    HWND owningWindow = Application ? Application->Handle() : nullptr;
    HWND window = ::CreateWindowExA(FrameExStyle(), className, "", FrameStyle() | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                    CW_USEDEFAULT, 320, 240, owningWindow, nullptr, ::GetModuleHandleA(nullptr),
                                    static_cast<TControl*>(this));
    if (!window) throw Exception("Cannot create the form's window");
    ::SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    if (Application && Application->Icon().Handle()) {
        ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Application->Icon().Handle()));
        if (Application->smallIcon_)
            ::SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Application->smallIcon_.get()));
    }
}

TForm::~TForm() {
    // Reached without BeforeDestruction (plain delete): the derived parts are
    // gone, so OnDestroy is not raised; still free the components first.
    if (g_activeForm == this) g_activeForm = nullptr;
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
    if (g_activeForm == this) g_activeForm = nullptr;
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
    return r.right;
}

int TForm::ClientHeight() const {
    RECT r{};
    ::GetClientRect(handle_, &r);
    return r.bottom;
}

void TForm::SetClientSize(int width, int height) {
    clientWidth_ = width;
    clientHeight_ = height;
    RECT r{0, 0, width, height};
    ::AdjustWindowRectEx(&r, static_cast<DWORD>(::GetWindowLongA(handle_, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongA(handle_, GWL_EXSTYLE)));
    ::SetWindowPos(handle_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    DisabledWindows disabled{handle_, {}};
    DisableTaskWindows(disabled);
    modal_ = true;
    ScopeGuard restore([&] {
        // Hidden while the others are still disabled, so that activation
        // returns to the window that was active before rather than any other.
        ::ShowWindow(handle_, SW_HIDE);
        modal_ = false;
        EnableTaskWindows(disabled);
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
        g_activeForm = this;
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
    default: break;
    }
    return TWinControl::WndProc(message, wParam, lParam);
}

bool TForm::IsDialogKey(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_CHAR && msg.message != WM_SYSCHAR) return false;
    TForm* form = FormOf(msg.hwnd);
    if (!form || !::IsWindowEnabled(form->handle_)) return false;
    // Without a message pointer: an edit box asked with one switches to
    // dialog behaviour (Esc closing its parent).
    const LRESULT code = ::SendMessageA(msg.hwnd, WM_GETDLGCODE, msg.wParam, 0);
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    const bool ctrl = ::GetKeyState(VK_CONTROL) < 0;

    auto accelerator = [form](char key) {
        const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
        std::vector<TControl*> all;
        CollectControls(form, all);
        for (TControl* c : all) {
            if (c->Accelerator() != wanted || !::IsWindowVisible(c->Handle()) || !::IsWindowEnabled(c->Handle()))
                continue;
            bool acted = false;
            SafeCall([&] { acted = c->AcceleratorPressed(); });
            if (acted) return true;
        }
        return false;
    };

    if (msg.message == WM_SYSCHAR) return accelerator(static_cast<char>(msg.wParam));
    if (msg.message == WM_CHAR) {
        if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) return false;
        if (msg.wParam < 0x20) return false;
        return accelerator(static_cast<char>(msg.wParam));
    }

    switch (msg.wParam) {
    case VK_TAB: {
        if (alt || ctrl || (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS)) == DLGC_WANTTAB) return false;
        const bool back = ::GetKeyState(VK_SHIFT) < 0;
        HWND start = msg.hwnd == form->handle_ ? nullptr : msg.hwnd;
        HWND next = ::GetNextDlgTabItem(form->handle_, start, back ? TRUE : FALSE);
        if (next) {
            ::SetFocus(next);
            if (::SendMessageA(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) ::SendMessageA(next, EM_SETSEL, 0, -1);
        }
        return true;
    }
    case VK_RETURN: {
        if (alt || ctrl || (code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE))) return false;
        TButton* target = nullptr;
        if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) target = dynamic_cast<TButton*>(FromHandle(msg.hwnd));
        if (!target) target = form->DefaultButton();
        if (!target || !::IsWindowVisible(target->Handle()) || !::IsWindowEnabled(target->Handle())) return false;
        SafeCall([target] { target->Click(); });
        return true;
    }
    case VK_ESCAPE: {
        if (alt || ctrl) return false;
        TButton* target = form->CancelButton();
        if (!target || !::IsWindowVisible(target->Handle()) || !::IsWindowEnabled(target->Handle())) return false;
        SafeCall([target] { target->Click(); });
        return true;
    }
    default: return false;
    }
}

// ---- TApplication

TApplication::TApplication() : TComponent(nullptr) {
    Application = this;
    SetErrorBox([](const std::exception& e) {
        if (Application) Application->ShowException(e);
    });
}

TApplication::~TApplication() {
    DestroyForms();
    if (Application == this) {
        Application = nullptr;
        SetErrorBox(nullptr);
    }
}

void TApplication::Initialize() {
    if (handle_) return;
    TThread::SetMainThread();
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);

    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    if (!icon_.LoadFromResource(instance, "MAINICON") && !icon_.LoadFromResource(instance, 1))
        icon_.SetHandle(::CopyIcon(::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION))));
    const int small = ::GetSystemMetrics(SM_CXSMICON);
    HICON smallIcon = static_cast<HICON>(::LoadImageA(instance, "MAINICON", IMAGE_ICON, small, small, 0));
    if (!smallIcon) smallIcon = static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON, small, small, 0));
    smallIcon_.reset(smallIcon);

    WNDCLASSA wc{};
    wc.lpfnWndProc = &StaticWndProc;
    wc.hIcon = icon_.Handle();
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = "TApplication";
    RegisterToolkitClass(wc);
    // A zero-size window in the middle of the screen: invisible, yet "shown",
    // so it carries the taskbar button of the whole program.
    handle_.reset(::CreateWindowExA(0, "TApplication", title_.c_str(),
                                    WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                    ::GetSystemMetrics(SM_CXSCREEN) / 2, ::GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                    nullptr, nullptr, instance, this));
    if (!handle_) throw Exception("Cannot create the application window");
    ::SendMessageA(handle_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Handle()));
    if (smallIcon_) ::SendMessageA(handle_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    ::ShowWindow(handle_.get(), SW_SHOWNOACTIVATE);
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (handle_) ::SetWindowTextA(handle_.get(), title_.c_str());
}

void TApplication::FormCreated(TForm* form) {
    form->AfterConstruction();
    if (!mainForm_) mainForm_ = form;
}

void TApplication::Run() {
    if (mainForm_ && ShowMainForm) {
        if (mainForm_->WindowState() == TWindowState::wsMinimized)
            Minimize();
        else
            mainForm_->Show();
    }
    while (!terminated_ && mainForm_) {
        if (!HandleMessage()) break;
    }
    // The quit that ended the loop may still be queued; left there, it would
    // close at once any box the forms show while they are destroyed.
    MSG quit;
    while (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    DestroyForms();
}

void TApplication::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    ::PostQuitMessage(0);
}

bool TApplication::HandleMessage() {
    MSG msg;
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
        terminated_ = true;
        return false;
    }
    if (got == -1) return true;
    if (!TForm::IsDialogKey(msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            return;
        }
        if (!TForm::IsDialogKey(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

bool TApplication::IsMinimized() const { return handle_ && ::IsIconic(handle_.get()); }

void TApplication::Minimize() {
    if (!handle_ || ::IsIconic(handle_.get())) return;
    HWND main = mainForm_ ? mainForm_->Handle() : nullptr;
    mainFormHiddenByMinimize_ = main && ::IsWindowVisible(main);
    ::ShowWindow(handle_.get(), SW_MINIMIZE);
    // Windows hides the windows a minimised window owns; make sure of it
    // wherever the platform does not, as Restore brings the form back itself.
    if (main && ::IsWindow(main) && ::IsWindowVisible(main) && ::IsIconic(handle_.get())) ::ShowWindow(main, SW_HIDE);
}

void TApplication::Restore() {
    if (!handle_ || !::IsIconic(handle_.get())) return;
    ::ShowWindow(handle_.get(), SW_RESTORE);
    TForm* main = mainForm_;
    if (main && ::IsWindow(main->Handle()) && !::IsWindowVisible(main->Handle()) &&
        (mainFormHiddenByMinimize_ || main->windowState_ == TWindowState::wsMinimized)) {
        main->windowState_ = TWindowState::wsNormal;
        main->Show();
    }
    mainFormHiddenByMinimize_ = false;
}

void TApplication::HandleException() noexcept { HandleError(TErrorPolicy::ShowErrorBox, "handler"); }

void TApplication::ShowException(const std::exception& e) noexcept {
    try {
        MessageBox(ErrorBoxText(e.what()), title_, MB_OK | MB_ICONERROR);
    } catch (...) {
        HandleError(TErrorPolicy::Trace, "error box");
    }
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    HWND active = ::GetActiveWindow();
    DisabledWindows disabled{nullptr, {}};
    DisableTaskWindows(disabled);
    ScopeGuard restore([&] {
        EnableTaskWindows(disabled);
        if (active && ::IsWindow(active)) ::SetActiveWindow(active);
    });
    return tk::MessageBox(active, text, caption, flags);
}

void TApplication::DestroyForms() {
    if (formsDestroyed_) return;
    formsDestroyed_ = true;
    DestroyComponents();
    mainForm_ = nullptr;
}

LRESULT CALLBACK TApplication::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = BoundObject<TApplication>(window, message, lParam);
    if (!self || !self->handle_ || self->handle_.get() != window) return ::DefWindowProcA(window, message, wParam, lParam);
    return CallGuarded(TErrorPolicy::ShowErrorBox, "application window", window, LRESULT(0),
                       [&] { return self->WndProc(message, wParam, lParam); });
}

LRESULT TApplication::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = handle_.get();
    switch (message) {
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_MINIMIZE: Minimize(); return 0;
        case SC_RESTORE: Restore(); return 0;
        default: break;
        }
        break;
    case WM_CLOSE:
        if (mainForm_) mainForm_->Close();
        return 0;
    case WM_ACTIVATE:
        // The application window itself has nothing to show: pass activation on.
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) ::PostMessageA(window, WM_TK_ACTIVATEFORM, 0, 0);
        return 0;
    case WM_TK_ACTIVATEFORM: {
        if (::GetActiveWindow() != window) return 0;
        TForm* target = g_activeForm ? g_activeForm : mainForm_;
        if (target && ::IsWindowVisible(target->Handle()) && ::IsWindowEnabled(target->Handle()))
            ::SetActiveWindow(target->Handle());
        return 0;
    }
    case WM_ENDSESSION:
        if (wParam) {
            // The process may end once this returns, and Windows asks the
            // top-level windows in no set order: the main form does its part
            // now (it must do it only once). The forms themselves are destroyed
            // by Run, after every modal loop above it has unwound: a dialog,
            // message box or menu open now still uses them.
            if (mainForm_ && ::IsWindow(mainForm_->Handle()))
                ::SendMessageA(mainForm_->Handle(), WM_ENDSESSION, wParam, lParam);
            ::EndMenu();
            Terminate();
        }
        return 0;
    default: break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace tk
