// No exception may leave through the DLL's C interface: one that would (an
// allocation failure, say) becomes the operation's failure.
#pragma once

#include <windows.h>

template <typename R, typename F>
R Guarded(R failure, F f) noexcept {
    try {
        return f();
    } catch (...) {
        ::OutputDebugStringA("ndisapi stand-in: an operation failed on an exception\n");
        return failure;
    }
}

template <typename F>
void Guarded(F f) noexcept {
    Guarded(false, [&] {
        f();
        return true;
    });
}
