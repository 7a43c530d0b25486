// One running program per user session: a second start brings the first one's
// main window back and ends, before it has touched the driver or the registry.
#pragma once

#include "toolkit/Handles.h"
#include "toolkit/UtilWindow.h"

#include <functional>
#include <memory>

class TSingleInstance {
public:
    // Takes the session's named mutex (made as only administrators can), or
    // finds it taken: by another Brackwater when Administrators or SYSTEM own
    // it; otherwise it counts only when a window of this program answers.
    // Call before any window of its own.
    TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // No other instance held the mutex.
    bool First() const noexcept { return first_; }
    // First instance, once the application exists: answers later starts by
    // restoring the application and bringing its main window to the front,
    // while `MayShow` says so (no longer once the program exits).
    void AnswerLaterStarts(std::function<bool()> MayShow);
    // Later instance: asks the first to come to the front, through the first
    // window of the instance's title whose process runs this same program.
    // When there is none within 2 s or it does not answer within 2 s more,
    // tells the user so and returns false.
    static bool ShowFirstInstance();

private:
    // Released in reverse order: the window goes before the mutex.
    tk::UniqueKernelHandle mutex_;
    bool first_ = true;
    std::unique_ptr<tk::TUtilityWindow> window_;
};
