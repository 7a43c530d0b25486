#include "toolkit/TaskWindows.h"

namespace tk {

TDisabledTaskWindows::TDisabledTaskWindows(HWND except) : except_(except) {
    ::EnumThreadWindows(::GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK TDisabledTaskWindows::DisableOne(HWND window, LPARAM param) {
    auto* self = reinterpret_cast<TDisabledTaskWindows*>(param);
    if (window != self->except_ && ::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
        self->windows_.push_back(window);
        ::EnableWindow(window, FALSE);
    }
    return TRUE;
}

void TDisabledTaskWindows::Enable() noexcept {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (::IsWindow(*it)) ::EnableWindow(*it, TRUE);
    windows_.clear();
}

} // namespace tk
