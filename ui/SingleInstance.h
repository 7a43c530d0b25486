// One running program per user session: a second start brings the first one's
// main window back and ends, before it has touched the driver or the registry.
#pragma once

#include "toolkit/Handles.h"
#include "toolkit/UtilWindow.h"

#include <functional>
#include <memory>

class TSingleInstance {
public:
    // Takes the session's named mutex, or finds it taken. Call before any window.
    TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // No other instance held the mutex.
    bool First() const noexcept { return first_; }
    // First instance, once the application exists: answers later starts by
    // restoring the application and bringing its main window to the front,
    // while `MayShow` says so (no longer once the program exits).
    void AnswerLaterStarts(std::function<bool()> MayShow);
    // Later instance: asks the first to come to the front. When its window is
    // not there within 2 s or does not answer within 2 s more, tells the user
    // so and returns false.
    static bool ShowFirstInstance();

private:
    // Released in reverse order: the window goes before the mutex.
    tk::UniqueKernelHandle mutex_;
    bool first_ = true;
    std::unique_ptr<tk::TUtilityWindow> window_;
};
