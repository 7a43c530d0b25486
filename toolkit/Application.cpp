#include "toolkit/Forms.h"

#include "toolkit/Exception.h"
#include "toolkit/TaskWindows.h"
#include "toolkit/Thread.h"
#include "toolkit/WindowBinding.h"

#include <commctrl.h>

namespace tk {

TApplication* Application = nullptr;

namespace {
constexpr UINT WM_TK_ACTIVATEFORM = WM_APP + 0x3F00;
} // namespace

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
    // At the size the resource holds for the shell's small icons (16, 24 or
    // 32 pixels at 100, 150 or 200 %), rather than the large one shrunk.
    const int small = ::GetSystemMetrics(SM_CXSMICON);
    if (!smallIcon_.LoadFromResource(instance, "MAINICON", small, small) &&
        !smallIcon_.LoadFromResource(instance, 1, small, small))
        smallIcon_.Assign(icon_);

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
    if (!smallIcon_.Empty())
        ::SendMessageA(handle_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Handle()));
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
    TDisabledTaskWindows disabled(nullptr);
    ScopeGuard restore([&] {
        disabled.Enable();
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
        TForm* target = TForm::activeForm_ ? TForm::activeForm_ : mainForm_;
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

