#include "ui/SimpleTimer.h"

#include <memory>

namespace {

// Destroyed with the last timer, or at the latest when the program's statics
// are torn down.
std::unique_ptr<TSimpleTimerHandler> g_handler;
std::uint32_t g_lastId = 0;

} // namespace

TSimpleTimerHandler::TSimpleTimerHandler()
    : window_([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
          return HandleMessage(window, message, wParam, lParam);
      }) {}

HWND TSimpleTimerHandler::Window() noexcept {
    return g_handler ? g_handler->window_.Handle() : nullptr;
}

TSimpleTimerHandler& TSimpleTimerHandler::AddRef(TSimpleTimer* timer) {
    if (!g_handler) g_handler = std::make_unique<TSimpleTimerHandler>();
    g_handler->timers_[timer->Id] = timer;
    ++g_handler->references_;
    return *g_handler;
}

void TSimpleTimerHandler::Release(TSimpleTimer* timer) noexcept {
    if (!g_handler) return;
    g_handler->timers_.erase(timer->Id);
    if (--g_handler->references_ == 0) g_handler.reset();
}

std::uint32_t TSimpleTimerHandler::NewId() {
    // Never 0, never one a live timer holds.
    do {
        ++g_lastId;
    } while (g_lastId == 0 || (g_handler && g_handler->timers_.count(g_lastId)));
    return g_lastId;
}

// A callback's exception is dropped by the utility window: a failing callback
// must neither stop its timer nor reach the message loop.
LRESULT TSimpleTimerHandler::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_TIMER) return ::DefWindowProcA(window, message, wParam, lParam);
    // A timer destroyed after its message was queued is no longer listed.
    const auto it = timers_.find(static_cast<std::uint32_t>(wParam));
    if (it == timers_.end()) return 0;
    TSimpleTimer* timer = it->second;
    if (timer->Callback) timer->Callback(timer->Data);
    return 0;
}

TSimpleTimer::TSimpleTimer(void* Data_, TSimpleTimerCallback Callback_)
    : Data(Data_), Id(TSimpleTimerHandler::NewId()), Callback(Callback_) {
    TSimpleTimerHandler::AddRef(this);
}

TSimpleTimer::~TSimpleTimer() {
    if (active_) Stop();
    TSimpleTimerHandler::Release(this);
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
