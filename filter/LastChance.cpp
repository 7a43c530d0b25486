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

void RestorePublishedAdapter() noexcept {
    if (g_restored.exchange(true)) return;
    const HANDLE adapter = g_adapter.load(std::memory_order_acquire);
    const HANDLE driver = g_driver.load(std::memory_order_acquire);
    if (!adapter || !driver) return;
    // The worker's handle, used here on the failing thread: the process is
    // ending and nobody else will give the adapter back.
    ADAPTER_MODE normal{adapter, 0};
    NdisApi.SetAdapterMode(driver, &normal);
    NdisApi.SetPacketEvent(driver, adapter, nullptr);
}
