// A hidden window whose messages go to an object.
#pragma once

#include "toolkit/Handles.h"

#include <functional>

namespace tk {

// A hidden top-level window (so it also gets broadcasts such as
// WM_QUERYENDSESSION and registered shell messages). Every message goes to the
// handler; an exception from it is caught and dropped and the message answered 0.
class TUtilityWindow {
public:
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit TUtilityWindow(Handler handler);
    ~TUtilityWindow();
    TUtilityWindow(const TUtilityWindow&) = delete;
    TUtilityWindow& operator=(const TUtilityWindow&) = delete;

    HWND Handle() const noexcept { return window_.get(); }

private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    Handler handler_;
    UniqueWindow window_;
};

} // namespace tk
