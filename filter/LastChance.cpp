#include "LastChance.h"

#include "DriverApi.h"

#include <atomic>
#include <cstdlib>
#include <exception>

namespace {

static_assert(std::atomic<HANDLE>::is_always_lock_free, "the handlers cannot take a lock");

// Constant-initialised: nothing runs at load time, and the handlers may read
// them whatever state the process is in.
std::atomic<HANDLE> g_driver{nullptr};
std::atomic<HANDLE> g_adapter{nullptr};
std::atomic<bool> g_restored{false};
std::atomic<bool> g_crashing{false};
// The id of the thread attaching an adapter now; 0 when none.
std::atomic<DWORD> g_attaching{0};
// How long the handler waits for an attach under way; the process is ending.
constexpr DWORD kAttachWaitMs = 500;
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;
std::terminate_handler g_previousTerminate = nullptr;

LONG WINAPI LastChanceFilter(EXCEPTION_POINTERS* Exception) {
    RestorePublishedAdapter();
    return g_previousFilter ? g_previousFilter(Exception) : EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void LastChanceTerminate() {
    RestorePublishedAdapter();
    if (g_previousTerminate) g_previousTerminate();
    std::abort();
}

} // namespace

void InstallLastChance() {
    g_previousFilter = ::SetUnhandledExceptionFilter(LastChanceFilter);
    g_previousTerminate = std::set_terminate(LastChanceTerminate);
}

void PublishBinding(HANDLE Driver, HANDLE Adapter) noexcept {
    // The adapter last on the way in and first on the way out, so that a
    // reader that sees an adapter also sees the driver handle it belongs to.
    if (Adapter) {
        g_driver.store(Driver, std::memory_order_release);
        g_adapter.store(Adapter, std::memory_order_release);
    } else {
        g_adapter.store(nullptr, std::memory_order_release);
        g_driver.store(Driver, std::memory_order_release);
    }
}

TAttaching::TAttaching() noexcept {
    g_attaching.store(::GetCurrentThreadId());
}

TAttaching::~TAttaching() {
    g_attaching.store(0);
}

bool TAttaching::Crashing() noexcept {
    return g_crashing.load();
}

void RestorePublishedAdapter() noexcept {
    g_crashing.store(true);
    if (g_restored.exchange(true)) return;
    // An attach on this very thread has failed in the middle and will not finish.
    const DWORD self = ::GetCurrentThreadId();
    const DWORD start = ::GetTickCount();
    for (DWORD holder = g_attaching.load(); holder != 0 && holder != self; holder = g_attaching.load()) {
        if (::GetTickCount() - start >= kAttachWaitMs) break;
        ::Sleep(1);
    }
    const HANDLE adapter = g_adapter.load(std::memory_order_acquire);
    const HANDLE driver = g_driver.load(std::memory_order_acquire);
    if (!adapter || !driver) return;
    // The worker's handle, used here on the failing thread: the process is
    // ending and nobody else will give the adapter back.
    // Asked again at once: nothing in a dying process may sleep for long.
    ResetAdapterMode(driver, adapter, kResetAttempts, 0);
    NdisApi.SetPacketEvent(driver, adapter, nullptr);
}

bool ResetAdapterMode(HANDLE Driver, HANDLE Adapter, int Attempts, DWORD PauseMs) noexcept {
    ADAPTER_MODE normal{Adapter, 0};
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        if (attempt > 0 && PauseMs > 0) ::Sleep(PauseMs);
        if (NdisApi.SetAdapterMode(Driver, &normal)) return true;
    }
    return false;
}
