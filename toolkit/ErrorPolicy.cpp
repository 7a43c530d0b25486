#include "toolkit/ErrorPolicy.h"

#include "toolkit/Exception.h"
#include "toolkit/Handles.h"

#include <algorithm>
#include <vector>

namespace tk {

namespace {

TErrorBox g_errorBox = nullptr;

// The windows whose error box is showing on this thread.
thread_local std::vector<HWND> t_boxesUp;

void Trace(const char* where, const char* what) noexcept {
    try {
        ::OutputDebugStringA(Format("Brackwater: error dropped in %s: %s\n", where, what).c_str());
    } catch (...) {
        ::OutputDebugStringA("Brackwater: error dropped\n");
    }
}

void ShowBox(const char* where, HWND window, const std::exception& e) noexcept {
    if (!g_errorBox) return Trace(where, e.what());
    if (window && std::find(t_boxesUp.begin(), t_boxesUp.end(), window) != t_boxesUp.end())
        return Trace(where, e.what());
    try {
        if (window) t_boxesUp.push_back(window);
        ScopeGuard done([window] {
            if (window) t_boxesUp.erase(std::find(t_boxesUp.begin(), t_boxesUp.end(), window));
        });
        g_errorBox(e);
    } catch (const std::exception& inner) {
        Trace(where, inner.what());
    } catch (...) {
        Trace(where, "unknown error");
    }
}

} // namespace

void SetErrorBox(TErrorBox box) noexcept { g_errorBox = box; }

std::exception_ptr HandleError(TErrorPolicy policy, const char* where, HWND window) noexcept {
    std::exception_ptr current = std::current_exception();
    if (!current || policy == TErrorPolicy::Pass) return current;
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        if (policy == TErrorPolicy::ShowErrorBox)
            ShowBox(where, window, e);
        else
            Trace(where, e.what());
    } catch (...) {
        if (policy == TErrorPolicy::ShowErrorBox)
            ShowBox(where, window, Exception("Unknown error"));
        else
            Trace(where, "unknown error");
    }
    return policy == TErrorPolicy::Keep ? current : nullptr;
}

} // namespace tk
