// A worker thread with a terminate request, a free-on-terminate flag, a wait
// for its end and a synchronous call into the main thread.
//
// Synchronous calls are queued and a message is posted to a hidden window of
// the main thread, so every message loop of that thread serves them: the
// application's loop, modal dialogs and message boxes alike. WaitFor on the
// main thread serves them too, so a worker blocked in a call always finishes.
#pragma once

#include "toolkit/Handles.h"

#include <atomic>
#include <exception>

namespace tk {

class TThread {
public:
    using SyncProc = void (*)(void* context);

    explicit TThread(bool CreateSuspended);
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Resume();
    // Sets the terminate request; the body polls it.
    void Terminate() noexcept { terminated_.store(true, std::memory_order_release); }
    bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
    // Blocks until the body has returned; returns immediately for a thread never started.
    void WaitFor();
    bool Finished() const noexcept { return finished_.load(std::memory_order_acquire); }
    // The platform thread; the object keeps ownership.
    HANDLE Handle() const noexcept { return thread_.get(); }

    // When set before the body ends, the object deletes itself after it.
    bool FreeOnTerminate = false;

    // Runs proc(context) on the main thread and waits until it has run. An
    // exception it throws is raised again here, in the calling thread.
    void Synchronize(SyncProc proc, void* context);
    template <typename F>
    void Synchronize(F& f) {
        Synchronize([](void* c) { (*static_cast<F*>(c))(); }, &f);
    }

    // Serves the synchronous calls that are waiting; main thread only.
    // Returns whether any was served.
    static bool CheckSynchronize();
    // Makes the calling thread the main thread (the first TThread made sets it otherwise).
    static void SetMainThread();
    static bool IsMainThread();

protected:
    virtual void Execute() = 0;

private:
    static DWORD WINAPI ThreadProc(void* self);

    UniqueKernelHandle thread_;
    UniqueEvent syncDone_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
};

} // namespace tk
