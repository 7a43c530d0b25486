// A window procedure that calls an object: for replacing the procedure of an
// existing window (SetWindowLongA with GWL_WNDPROC) from a component.
#pragma once

#include <windows.h>

#include <functional>

namespace tk {

// Owns a small piece of executable code that is a real WNDPROC and forwards
// to `handler`. The handler must not throw (an exception is caught, shown in
// the error box and the message answered 0). 32-bit x86 only.
class TWndProcThunk {
public:
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit TWndProcThunk(Handler handler);
    ~TWndProcThunk();
    TWndProcThunk(const TWndProcThunk&) = delete;
    TWndProcThunk& operator=(const TWndProcThunk&) = delete;

    // The procedure to install; valid for the thunk's lifetime.
    WNDPROC Proc() const noexcept { return reinterpret_cast<WNDPROC>(code_); }

private:
    static LRESULT CALLBACK Dispatch(TWndProcThunk* self, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    Handler handler_;
    unsigned char* code_ = nullptr;
};

} // namespace tk
