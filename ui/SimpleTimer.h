// Millisecond timers that call a plain procedure on the main thread. All
// timers of the process share one hidden window that receives their WM_TIMER.
#pragma once

#include "toolkit/UtilWindow.h"

#include <windows.h>

#include <cstdint>
#include <map>

using TSimpleTimerCallback = void (*)(void* Data);

class TSimpleTimer {
public:
    // Takes a reference on the shared window, creating it on first use.
    TSimpleTimer(void* Data, TSimpleTimerCallback Callback);
    // Stops the timer if it runs and releases the shared window.
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer&) = delete;
    TSimpleTimer& operator=(const TSimpleTimer&) = delete;

    // Starts the timer, restarting it with the new interval when it runs;
    // returns whether the platform accepted it.
    bool Start(std::uint32_t Interval);
    // Returns the platform's result of killing the timer.
    bool Stop();

    bool Active() const noexcept { return active_; }
    std::uint32_t Interval() const noexcept { return interval_; }

    // The owner, passed back to Callback.
    void* const Data;
    // Unique among live timers; the platform timer id.
    const std::uint32_t Id;
    TSimpleTimerCallback Callback;

private:
    bool active_ = false;
    std::uint32_t interval_ = 0;
    tk::TSharedUtilityWindow::TReference handler_;
};

// The one hidden window of the process that receives every timer's WM_TIMER.
// It exists while at least one timer does.
class TSimpleTimerHandler {
public:
    // The shared window, or null when no timer exists.
    static HWND Window() noexcept { return window_.Handle(); }
    static bool Exists() noexcept { return Window() != nullptr; }

private:
    friend class TSimpleTimer;
    static LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The live timers by id.
    static std::map<std::uint32_t, TSimpleTimer*>& Timers();
    static std::uint32_t NewId();

    static tk::TSharedUtilityWindow window_;
};
