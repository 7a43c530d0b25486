#include "toolkit/MessageFilter.h"

namespace tk {
namespace {

BOOL WINAPI PlatformChangeWindowMessageFilterEx(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT info) {
    // Windows before 7 has no per-window filter; linking to it would keep
    // the program from starting there.
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    const auto change = user32 ? reinterpret_cast<TChangeWindowMessageFilterEx>(
                                     reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilterEx")))
                               : nullptr;
    return change ? change(window, message, action, info) : FALSE;
}

} // namespace

TChangeWindowMessageFilterEx ChangeWindowMessageFilterExProc = PlatformChangeWindowMessageFilterEx;

bool AllowMessageThrough(HWND window, UINT message) noexcept {
    if (!window || message == 0) return false;
    return ChangeWindowMessageFilterExProc(window, message, MSGFLT_ALLOW, nullptr) != FALSE;
}

} // namespace tk
