// The program's other windows while a modal window or message box is up.
#pragma once

#include <windows.h>

#include <vector>

namespace tk {

// Disables the other enabled, visible top-level windows of this thread;
// Enable gives them back in reverse order, at the latest when it goes.
class TDisabledTaskWindows {
public:
    explicit TDisabledTaskWindows(HWND except);
    ~TDisabledTaskWindows() { Enable(); }
    TDisabledTaskWindows(const TDisabledTaskWindows&) = delete;
    TDisabledTaskWindows& operator=(const TDisabledTaskWindows&) = delete;

    void Enable() noexcept;

private:
    static BOOL CALLBACK DisableOne(HWND window, LPARAM self);
    HWND except_;
    std::vector<HWND> windows_;
};

} // namespace tk
