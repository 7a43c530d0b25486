#include "toolkit/Thread.h"

#include "toolkit/ErrorPolicy.h"

#include <deque>
#include <mutex>
#include <stdexcept>

namespace tk {
namespace {

constexpr UINT WM_SYNCHRONIZE = WM_APP + 0x3A1;

struct SyncRequest {
    TThread::SyncProc proc;
    void* context;
    std::exception_ptr error;
    HANDLE done;
};

// State shared with the worker threads; the only lock of the program lives here.
struct SyncState {
    std::mutex lock;
    std::deque<SyncRequest*> queue;
    DWORD mainThreadId = 0;
    UniqueEvent pending{::CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

SyncState& State() {
    static SyncState state;
    return state;
}

LRESULT SyncWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SYNCHRONIZE) {
        TThread::CheckSynchronize();
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

// The main thread's window that the synchronous calls' message goes to; the
// thread objects are its users.
constinit TSharedUtilityWindow TThread::syncWindow_{"TkThreadSyncWindow", &SyncWindowProc, TErrorPolicy::Trace};

void TThread::SetMainThread() { State().mainThreadId = ::GetCurrentThreadId(); }

bool TThread::IsMainThread() {
    return ::GetCurrentThreadId() == State().mainThreadId;
}

TSharedUtilityWindow& TThread::SyncWindow() {
    // The first thread made names the main thread unless the application did.
    if (State().mainThreadId == 0) SetMainThread();
    return syncWindow_;
}

TThread::TThread() : syncReference_(SyncWindow()) {
    syncDone_.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!syncDone_) throw std::runtime_error("Could not create thread event");
    terminateEvent_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!terminateEvent_) throw std::runtime_error("Could not create thread event");
    DWORD id = 0;
    thread_.reset(::CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &id));
    if (!thread_) throw std::runtime_error("Could not create thread");
}

TThread::~TThread() {
    // Only a thread deleted without its owner's deleter still runs here, on
    // members that are already gone; stopping it is all that is left to do.
    if (thread_ && !finished_.load()) Stop();
}

void TThread::Stop() noexcept {
    Terminate();
    if (!started_) Resume();
    WaitFor();
}

void TThreadStopper::operator()(TThread* thread) const noexcept {
    if (!thread) return;
    if (thread->thread_ && !thread->finished_.load()) thread->Stop();
    delete thread;
}

void TThread::Terminate() noexcept {
    terminated_.store(true, std::memory_order_release);
    ::SetEvent(terminateEvent_.get());
}

void TThread::Resume() {
    if (!started_) {
        started_ = true;
        ::ResumeThread(thread_.get());
    }
}

DWORD WINAPI TThread::ThreadProc(void* param) {
    auto* self = static_cast<TThread*>(param);
    if (!self->Terminated()) {
        try {
            self->Execute();
        } catch (...) {
            self->fatal_ = HandleError(TErrorPolicy::Keep, "thread");
        }
    }
    const bool freeSelf = self->FreeOnTerminate;
    self->finished_.store(true, std::memory_order_release);
    if (freeSelf) delete self;
    return 0;
}

void TThread::WaitFor() {
    if (!thread_ || !started_) return;
    HANDLE thread = thread_.get();
    if (!IsMainThread()) {
        ::WaitForSingleObject(thread, INFINITE);
        return;
    }
    // Messages sent from other threads are served too: a worker (or a driver
    // library on its behalf) may be blocked in a SendMessage to this thread.
    HANDLE handles[2] = {thread, State().pending.get()};
    for (;;) {
        const DWORD r = ::MsgWaitForMultipleObjects(2, handles, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_OBJECT_0 + 1) {
            CheckSynchronize();
        } else if (r == WAIT_OBJECT_0 + 2) {
            MSG msg;
            ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            // The combined wait cannot work: fall back on the thread alone,
            // serving deliveries between short waits; a thread handle that
            // cannot be waited on ends the wait rather than spinning.
            const DWORD alone = ::WaitForSingleObject(thread, 10);
            if (alone != WAIT_TIMEOUT) break;
            CheckSynchronize();
        }
    }
    CheckSynchronize();
}

void TThread::Synchronize(SyncProc proc, void* context) {
    if (IsMainThread()) {
        proc(context);
        return;
    }
    SyncState& s = State();
    SyncRequest request{proc, context, nullptr, syncDone_.get()};
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.queue.push_back(&request);
    }
    ::SetEvent(s.pending.get());
    ::PostMessageA(syncWindow_.Handle(), WM_SYNCHRONIZE, 0, 0);
    ::WaitForSingleObject(syncDone_.get(), INFINITE);
    if (request.error) std::rethrow_exception(request.error);
}

bool TThread::CheckSynchronize() {
    SyncState& s = State();
    bool served = false;
    for (;;) {
        SyncRequest* request = nullptr;
        {
            std::lock_guard<std::mutex> guard(s.lock);
            if (s.queue.empty()) break;
            request = s.queue.front();
            s.queue.pop_front();
        }
        try {
            request->proc(request->context);
        } catch (...) {
            // Raised again in the calling thread.
            request->error = HandleError(TErrorPolicy::Pass, "synchronous call");
        }
        served = true;
        ::SetEvent(request->done);
    }
    return served;
}

} // namespace tk
