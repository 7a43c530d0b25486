#include "toolkit/UtilWindow.h"

#include "toolkit/WindowBinding.h"

namespace tk {

TUtilityWindow::TUtilityWindow(Handler handler, TErrorPolicy policy) : handler_(std::move(handler)), policy_(policy) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &StaticWndProc;
    wc.lpszClassName = "tkUtilityWindow";
    const char* className = RegisterToolkitClass(wc);
    window_.reset(::CreateWindowExA(WS_EX_TOOLWINDOW, className, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), this));
}

TUtilityWindow::~TUtilityWindow() {
    // The handler's owner is being destroyed: the window's last messages go
    // to the default procedure.
    if (window_) UnbindObject(window_.get());
}

LRESULT CALLBACK TUtilityWindow::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = BoundObject<TUtilityWindow>(window, message, lParam);
    // Until CreateWindowExA has returned the owner may not be ready for messages.
    if (!self || self->window_.get() != window || !self->handler_)
        return ::DefWindowProcA(window, message, wParam, lParam);
    return CallGuarded(self->policy_, "hidden window", window, LRESULT(0),
                       [&] { return self->handler_(window, message, wParam, lParam); });
}

} // namespace tk

namespace tk {

namespace {
// A reference released on another thread, to be released on the window's.
constexpr UINT WM_TK_RELEASE = WM_APP + 0x3F01;
} // namespace

void TSharedUtilityWindow::AddRef() {
    if (!window_) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &StaticWndProc;
        wc.lpszClassName = className_;
        RegisterToolkitClass(wc);
        window_.reset(::CreateWindowExA(WS_EX_TOOLWINDOW, className_, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        ::GetModuleHandleA(nullptr), this));
    }
    ++users_;
}

void TSharedUtilityWindow::Release() noexcept {
    if (window_ && ::GetWindowThreadProcessId(window_.get(), nullptr) != ::GetCurrentThreadId()) {
        ::PostMessageA(window_.get(), WM_TK_RELEASE, 0, 0);
        return;
    }
    if (users_ > 0 && --users_ == 0) {
        // Its last messages go to the default procedure.
        if (window_) UnbindObject(window_.get());
        window_.reset();
    }
}

LRESULT CALLBACK TSharedUtilityWindow::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = BoundObject<TSharedUtilityWindow>(window, message, lParam);
    // Until CreateWindowExA has returned, the users' state may not be ready.
    if (!self || self->window_.get() != window) return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_TK_RELEASE) {
        self->Release();
        return 0;
    }
    return CallGuarded(self->policy_, "hidden window", window, LRESULT(0),
                       [&] { return self->handler_(window, message, wParam, lParam); });
}

} // namespace tk
