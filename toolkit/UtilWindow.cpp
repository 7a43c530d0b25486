#include "toolkit/UtilWindow.h"

namespace tk {

namespace {
constexpr const char* kClassName = "tkUtilityWindow";

void RegisterUtilityClass() {
    WNDCLASSA wc{};
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    if (::GetClassInfoA(instance, kClassName, &wc)) return;
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    ::RegisterClassA(&wc);
}
} // namespace

TUtilityWindow::TUtilityWindow(Handler handler) : handler_(std::move(handler)) {
    RegisterUtilityClass();
    // Created with the default procedure and switched over once the object is
    // bound, so no message reaches a handler that is not there yet.
    window_.reset(::CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr));
    if (window_) {
        ::SetPropA(window_.get(), "tkUtility", this);
        ::SetWindowLongPtrA(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticWndProc));
    }
}

TUtilityWindow::~TUtilityWindow() {
    if (window_) {
        ::SetWindowLongPtrA(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
        ::RemovePropA(window_.get(), "tkUtility");
    }
}

LRESULT CALLBACK TUtilityWindow::StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<TUtilityWindow*>(::GetPropA(window, "tkUtility"));
    if (!self || !self->handler_) return ::DefWindowProcA(window, message, wParam, lParam);
    try {
        return self->handler_(window, message, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

} // namespace tk
