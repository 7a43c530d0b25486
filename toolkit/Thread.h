// A worker thread with a terminate request, a free-on-terminate flag, a wait
// for its end and a synchronous call into the main thread.
//
// Synchronous calls are queued and a message is posted to a hidden window of
// the main thread, so every message loop of that thread serves them: the
// application's loop, modal dialogs and message boxes alike. WaitFor on the
// main thread serves them too, so a worker blocked in a call always finishes.
//
// A thread is made suspended and started by whoever holds the finished
// object (StartThread), so its body never runs on a half-built object; its
// owner (ThreadPtr) stops it and waits for it before destroying it, so the
// body never runs on a half-destroyed one. Subclasses only write Execute.
#pragma once

#include "toolkit/Handles.h"
#include "toolkit/UtilWindow.h"

#include <atomic>
#include <exception>
#include <memory>
#include <utility>

namespace tk {

class TThread {
public:
    using SyncProc = void (*)(void* context);

    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts the body; call it on the complete object (StartThread does).
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
    // The exception that ended the body, or null; read it after WaitFor.
    std::exception_ptr FatalException() const noexcept { return fatal_; }

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
    // Suspended until Resume.
    TThread();
    // Reached through the owner's deleter, which has stopped the body, or
    // from the body itself with FreeOnTerminate.
    virtual ~TThread();
    // An exception leaving it ends the thread and is kept (FatalException).
    virtual void Execute() = 0;

private:
    friend struct TThreadStopper;
    static DWORD WINAPI ThreadProc(void* self);
    // Asks the body to end and waits for it; a thread never started is
    // started so that it ends without running its body.
    void Stop() noexcept;

    UniqueKernelHandle thread_;
    UniqueEvent syncDone_;
    UniqueEvent terminateEvent_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    bool started_ = false;
    std::exception_ptr fatal_;
    static TSharedUtilityWindow syncWindow_;
    static TSharedUtilityWindow& SyncWindow();
    // Made on the main thread, whose window serves the synchronous calls.
    TSharedUtilityWindow::TReference syncReference_;
};

// The deleter of a thread's owner: stops the body, then destroys the object.
struct TThreadStopper {
    void operator()(TThread* thread) const noexcept;
};

template <typename T>
using ThreadPtr = std::unique_ptr<T, TThreadStopper>;

// A thread of type T made suspended, owned: Resume starts it.
template <typename T, typename... Args>
ThreadPtr<T> MakeThread(Args&&... args) {
    return ThreadPtr<T>(new T(std::forward<Args>(args)...));
}

// A thread of type T started once the object is complete.
template <typename T, typename... Args>
ThreadPtr<T> StartThread(Args&&... args) {
    ThreadPtr<T> thread = MakeThread<T>(std::forward<Args>(args)...);
    thread->Resume();
    return thread;
}

} // namespace tk
