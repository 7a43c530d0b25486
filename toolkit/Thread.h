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
    // Sets the terminate request and its event; the body polls the one or
    // waits on the other.
    void Terminate() noexcept;
    bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }
    // Manual-reset, signalled from the terminate request on: a body that
    // waits for work waits on it too, so that a stop does not wait out its timeout.
    HANDLE TerminateEvent() const noexcept { return terminateEvent_.get(); }
    // Blocks until the body has returned; returns immediately for a thread
    // never started. On the main thread it serves the synchronous calls and
    // the messages other threads send meanwhile.
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
    UniqueEvent terminateEvent_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
};

} // namespace tk
