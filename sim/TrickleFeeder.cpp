#include "sim/TrickleFeeder.h"

#include "sim/TrafficFrames.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr DWORD kTickMs = 50;

} // namespace

TTrickleFeeder::~TTrickleFeeder() {
    // Runs only at process exit, when the thread is already gone (it holds a
    // reference to this DLL, so the DLL is never unloaded under it). Waiting
    // for a thread here, inside the DLL's detach, could never end.
    if (stop_) ::SetEvent(stop_.get());
}

void TTrickleFeeder::SetRate(unsigned long framesPerSecond) {
    std::lock_guard lock(mutex_);
    rate_ = framesPerSecond;
    if (framesPerSecond > 0 && !thread_) {
        tk::UniqueEvent stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!stop) return;
        // The thread keeps the DLL loaded while it runs and lets go of it
        // only as it ends.
        HMODULE self = nullptr;
        if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  reinterpret_cast<LPCSTR>(&TTrickleFeeder::ThreadProc), &self)) {
            return;
        }
        stop_ = std::move(stop);
        thread_.reset(::CreateThread(nullptr, 0, &TTrickleFeeder::ThreadProc, this, 0, nullptr));
        if (!thread_) {
            ::FreeLibrary(self);
            stop_.reset();
        }
    } else if (framesPerSecond == 0 && thread_) {
        ::SetEvent(stop_.get());
        ::WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
        stop_.reset();
    }
}

DWORD WINAPI TTrickleFeeder::ThreadProc(void* self) {
    try {
        static_cast<TTrickleFeeder*>(self)->Run();
    } catch (...) {
        // Out of memory for the frames: the trickle just stops.
        ::OutputDebugStringA("ndisapi stand-in: the trickle stopped for want of memory\n");
    }
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&TTrickleFeeder::ThreadProc), &module);
    ::FreeLibraryAndExitThread(module, 0);
}

void TTrickleFeeder::Run() {
    const std::vector<Frame> frames = MixedTraffic();
    std::size_t next = 0;
    double due = 0;
    auto last = std::chrono::steady_clock::now();
    while (::WaitForSingleObject(stop_.get(), kTickMs) == WAIT_TIMEOUT) {
        const auto now = std::chrono::steady_clock::now();
        due += rate_.load() * std::chrono::duration<double>(now - last).count();
        last = now;
        // A stalled thread catches up by at most one queue's worth.
        due = std::min(due, static_cast<double>(catchUpLimit_));
        for (; due >= 1; due -= 1) {
            const Frame& f = frames[next++ % frames.size()];
            sink_(f.data(), static_cast<ULONG>(f.size()));
        }
    }
}
