// Serving the test thread's messages, and with them the workers' synchronous
// calls, while a test waits for something to happen.
#pragma once

#include "toolkit/Thread.h"

#include <windows.h>

#include <algorithm>

// Serves messages and synchronous calls for `milliseconds`.
inline void Pump(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        tk::TThread::CheckSynchronize();
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(milliseconds - elapsed, 2), QS_ALLINPUT);
    }
}

// Serves messages until `done` holds (true) or `limit` ms have passed (false).
template <typename Predicate>
bool PumpUntil(Predicate done, DWORD limit = 10000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= limit) return false;
        Pump(2);
    }
    return true;
}

// Waits without serving messages until `done` holds (true) or `limit` ms have
// passed (false): for a thread that must not run this thread's deliveries.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD limit = 10000) {
    for (const DWORD start = ::GetTickCount(); !done(); ::Sleep(1))
        if (::GetTickCount() - start >= limit) return false;
    return true;
}
