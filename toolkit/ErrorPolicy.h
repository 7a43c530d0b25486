// What becomes of an exception that reaches a callback boundary: a window or
// subclass procedure, a timer, a hidden window, a thread's body or a
// synchronous call. Every boundary hands it to HandleError with its policy,
// so none of them drops an error without a trace.
#pragma once

#include <windows.h>

#include <exception>
#include <utility>

namespace tk {

enum class TErrorPolicy {
    // User-interface handlers: the application's error box. A handler of a
    // window that fails again while that window's box is up (its message loop
    // runs inside the failing procedure) is traced instead of stacking boxes.
    ShowErrorBox,
    // Dropped on purpose, written with OutputDebugStringA.
    Trace,
    // Traced, and returned for the owner to read later (a thread's end).
    Keep,
    // Returned to be raised again elsewhere (a synchronous call's caller).
    Pass,
};

// The application's error box; installed by the application object. Without
// it, errors meant for the box are traced.
using TErrorBox = void (*)(const std::exception& error);
void SetErrorBox(TErrorBox box) noexcept;

// Applies `policy` to the current exception (call inside a catch block).
// `where` names the boundary in the trace; `window` is the window whose
// handler failed, or null. Returns the exception for Keep and Pass, else null.
std::exception_ptr HandleError(TErrorPolicy policy, const char* where, HWND window = nullptr) noexcept;

// Runs f(); an exception from it is handled by `policy` and `fallback` returned.
template <typename R, typename F>
R CallGuarded(TErrorPolicy policy, const char* where, HWND window, R fallback, F&& f) noexcept {
    try {
        return std::forward<F>(f)();
    } catch (...) {
        HandleError(policy, where, window);
        return fallback;
    }
}

// Runs f(); an exception from it goes to the application's error box.
template <typename F>
void SafeCall(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (...) {
        HandleError(TErrorPolicy::ShowErrorBox, "handler");
    }
}

} // namespace tk
