// How the toolkit ties an object to a window. There are exactly two ways:
// - The toolkit's own window classes (forms, the application window, the
//   image and bevel controls, hidden utility windows) are registered with a
//   class procedure that takes the object from lpCreateParams at WM_NCCREATE
//   and keeps it in GWLP_USERDATA (BoundObject below).
// - Windows of system classes (buttons, edit boxes, list views and the like)
//   and windows the object did not create are subclassed with comctl32's
//   SetWindowSubclass (TControl for system-class controls, TWindowSubclass
//   for the rest), which lets subclasses be removed in any order.
// No window properties and no window procedures swapped in besides these.
#pragma once

#include <windows.h>

namespace tk {

// Registers `wc` (its hInstance filled in) unless the class exists; returns its name.
const char* RegisterToolkitClass(WNDCLASSA wc);

// The object of a toolkit-class window, for its class procedure: stored from
// lpCreateParams at WM_NCCREATE, forgotten after WM_NCDESTROY (which still
// reaches the object).
template <typename T>
T* BoundObject(HWND window, UINT message, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE)
        ::SetWindowLongPtrA(window, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<T*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    return self;
}

// Lets the window's later messages go to the default procedure.
inline void UnbindObject(HWND window) noexcept { ::SetWindowLongPtrA(window, GWLP_USERDATA, 0); }

} // namespace tk
