#include "ui/SimpleTimer.h"

namespace {
std::uint32_t g_lastId = 0;
} // namespace

// A callback's exception is dropped (and traced): a failing callback must
// neither stop its timer nor reach the message loop.
constinit tk::TSharedUtilityWindow TSimpleTimerHandler::window_{"TSimpleTimerHandler", &HandleMessage,
                                                                  tk::TErrorPolicy::Trace};

std::map<std::uint32_t, TSimpleTimer*>& TSimpleTimerHandler::Timers() {
    static std::map<std::uint32_t, TSimpleTimer*> timers;
    return timers;
}

std::uint32_t TSimpleTimerHandler::NewId() {
    // Never 0, never one a live timer holds.
    do {
        ++g_lastId;
    } while (g_lastId == 0 || Timers().count(g_lastId));
    return g_lastId;
}

LRESULT TSimpleTimerHandler::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return ::DefWindowProcA(window, message, wParam, lParam);
    // A timer destroyed after its message was queued is no longer listed.
    const auto it = Timers().find(static_cast<std::uint32_t>(wParam));
    if (it == Timers().end()) return 0;
    TSimpleTimer* timer = it->second;
    if (timer->Callback) timer->Callback(timer->Data);
    return 0;
}

TSimpleTimer::TSimpleTimer(void* Data_, TSimpleTimerCallback Callback_)
    : Data(Data_), Id(TSimpleTimerHandler::NewId()), Callback(Callback_), handler_(TSimpleTimerHandler::window_) {
    TSimpleTimerHandler::Timers()[Id] = this;
}

TSimpleTimer::~TSimpleTimer() {
    if (active_) Stop();
    TSimpleTimerHandler::Timers().erase(Id);
}

bool TSimpleTimer::Start(std::uint32_t Interval) {
    if (active_) Stop();
    interval_ = Interval;
    // Without the window SetTimer would make a thread timer nobody dispatches to us.
    HWND window = TSimpleTimerHandler::Window();
    active_ = window && ::SetTimer(window, Id, Interval, nullptr) != 0;
    return active_;
}

bool TSimpleTimer::Stop() {
    active_ = false;
    return ::KillTimer(TSimpleTimerHandler::Window(), Id) != FALSE;
}
