// Runs test steps from inside whatever message loop of this thread is
// running: the application's, a modal form's, a message box's or a menu's.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <utility>

// A repeating check, served by every loop of this thread, runs each step once
// its condition holds, one step per check and in order. The check is a timer
// message, which a loop takes only when nothing else is queued, so what a
// step posted has been handled before the next step's condition is asked. A
// step may open a modal loop of its own; the steps after it run inside it.
class LoopSteps {
public:
    using Condition = std::function<bool()>;
    using Step = std::function<void()>;

    LoopSteps() : previous_(std::exchange(Current(), this)), timer_(::SetTimer(nullptr, 0, 10, &Check)) {}
    ~LoopSteps() {
        ::KillTimer(nullptr, timer_);
        Current() = previous_;
    }
    LoopSteps(const LoopSteps&) = delete;
    LoopSteps& operator=(const LoopSteps&) = delete;

    // Runs `step` once `when` holds (at the next check without one).
    LoopSteps& Then(Step step, Condition when = nullptr) {
        steps_.push_back({std::move(when), std::move(step)});
        return *this;
    }
    bool Done() const noexcept { return steps_.empty(); }

private:
    struct Entry {
        Condition when;
        Step step;
    };
    static LoopSteps*& Current() {
        static LoopSteps* current = nullptr;
        return current;
    }
    static void CALLBACK Check(HWND, UINT, UINT_PTR, DWORD) {
        LoopSteps* self = Current();
        if (!self || self->steps_.empty()) return;
        if (self->steps_.front().when && !self->steps_.front().when()) return;
        Step step = std::move(self->steps_.front().step);
        self->steps_.pop_front();
        step();
    }

    LoopSteps* previous_;
    UINT_PTR timer_;
    std::deque<Entry> steps_;
};
