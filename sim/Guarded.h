// No exception may leave through the DLL's C interface: one that would (only
// an allocation failure can) becomes the operation's failure.
#pragma once

template <typename R, typename F>
R Guarded(R failure, F f) noexcept {
    try {
        return f();
    } catch (...) {
        return failure;
    }
}

template <typename F>
void Guarded(F f) noexcept {
    try {
        f();
    } catch (...) {
    }
}
