#include "toolkit/MessageBox.h"

#include "toolkit/Handles.h"

namespace tk {

namespace {

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

} // namespace tk
