#include "toolkit/WindowSubclass.h"

#include "toolkit/ErrorPolicy.h"

#include <commctrl.h>

namespace tk {

TWindowSubclass::TWindowSubclass(HWND window, Handler handler) : window_(window), handler_(std::move(handler)) {
    // The object's address tells its subclass apart from any other on the window.
    installed_ = ::SetWindowSubclass(window_, &Proc, reinterpret_cast<UINT_PTR>(this),
                                     reinterpret_cast<DWORD_PTR>(this)) != FALSE;
}

TWindowSubclass::~TWindowSubclass() {
    if (installed_ && ::IsWindow(window_))
        ::RemoveWindowSubclass(window_, &Proc, reinterpret_cast<UINT_PTR>(this));
}

LRESULT TWindowSubclass::CallPrevious(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CALLBACK TWindowSubclass::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR self) {
    auto* subclass = reinterpret_cast<TWindowSubclass*>(self);
    return CallGuarded(TErrorPolicy::ShowErrorBox, "subclass procedure", window, LRESULT(0),
                       [&] { return subclass->handler_(window, message, wParam, lParam); });
}

} // namespace tk
