// Hands the messages of an existing window (one the object did not create)
// to an object, in front of the window's own procedure.
#pragma once

#include <windows.h>

#include <functional>

namespace tk {

// Built on comctl32's subclass chain rather than on a procedure swapped in
// with SetWindowLongPtrA and a machine-code thunk per object: the chain needs
// no executable memory, works alike on 32 and 64 bits, and lets subclasses
// be removed in any order. (A procedure that someone swaps in with
// SetWindowLongPtrA on top of the chain must be taken out before the last
// subclass goes, as with any chain of replaced procedures.) The handler
// passes a message on with CallPrevious; an exception from it is shown in the
// application's error box and the message answered 0.
class TWindowSubclass {
public:
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

    TWindowSubclass(HWND window, Handler handler);
    ~TWindowSubclass();
    TWindowSubclass(const TWindowSubclass&) = delete;
    TWindowSubclass& operator=(const TWindowSubclass&) = delete;

    // False when the window refused the subclass (it belongs to another
    // thread, or is gone).
    bool Installed() const noexcept { return installed_; }

    // The rest of the chain: earlier subclasses, then the window's procedure.
    static LRESULT CallPrevious(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR self);
    HWND window_;
    Handler handler_;
    bool installed_ = false;
};

} // namespace tk
