// A hidden window whose messages go to an object.
#pragma once

#include "toolkit/ErrorPolicy.h"
#include "toolkit/Handles.h"

#include <functional>

namespace tk {

// A hidden top-level window (so it also gets broadcasts such as
// WM_QUERYENDSESSION and registered shell messages). Every message after its
// creation goes to the handler; an exception from it is handled by `policy`
// and the message answered 0.
class TUtilityWindow {
public:
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit TUtilityWindow(Handler handler, TErrorPolicy policy = TErrorPolicy::Trace);
    ~TUtilityWindow();
    TUtilityWindow(const TUtilityWindow&) = delete;
    TUtilityWindow& operator=(const TUtilityWindow&) = delete;

    HWND Handle() const noexcept { return window_.get(); }

private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    Handler handler_;
    TErrorPolicy policy_;
    UniqueWindow window_;
};

} // namespace tk
