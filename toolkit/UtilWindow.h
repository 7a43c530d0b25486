// A hidden window whose messages go to an object.
#pragma once

#include "toolkit/ErrorPolicy.h"
#include "toolkit/Handles.h"

#include <functional>

namespace tk {

// A hidden top-level window (so it also gets broadcasts such as
// WM_QUERYENDSESSION and registered shell messages). Every message after its
// creation goes to the handler; an exception from it is handled by `policy`
// and the message answered 0.
class TUtilityWindow {
public:
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;

    explicit TUtilityWindow(Handler handler, TErrorPolicy policy = TErrorPolicy::Trace);
    ~TUtilityWindow();
    TUtilityWindow(const TUtilityWindow&) = delete;
    TUtilityWindow& operator=(const TUtilityWindow&) = delete;

    HWND Handle() const noexcept { return window_.get(); }

private:
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    Handler handler_;
    TErrorPolicy policy_;
    UniqueWindow window_;
};

} // namespace tk

namespace tk {

// One hidden window shared by every user of one helper (the tray icons, the
// timers and the synchronous calls each have their own): made with its first
// user's reference, destroyed with its last. Constant-initialised, so it is a
// static of its unit that runs no code before it is first used. References
// are taken on the window's thread; the last one released on another thread
// is handed back to the window's thread to destroy the window there.
class TSharedUtilityWindow {
public:
    using Handler = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    constexpr TSharedUtilityWindow(const char* className, Handler handler, TErrorPolicy policy) noexcept
        : className_(className), handler_(handler), policy_(policy) {}
    TSharedUtilityWindow(const TSharedUtilityWindow&) = delete;
    TSharedUtilityWindow& operator=(const TSharedUtilityWindow&) = delete;

    // The window, or null while it has no user.
    HWND Handle() const noexcept { return window_.get(); }

    // A user's reference for as long as the user lives.
    class TReference {
    public:
        explicit TReference(TSharedUtilityWindow& window) : window_(window) { window_.AddRef(); }
        ~TReference() { window_.Release(); }
        TReference(const TReference&) = delete;
        TReference& operator=(const TReference&) = delete;

    private:
        TSharedUtilityWindow& window_;
    };

private:
    void AddRef();
    void Release() noexcept;
    static LRESULT CALLBACK StaticWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    const char* className_;
    Handler handler_;
    TErrorPolicy policy_;
    unsigned users_ = 0;
    UniqueWindow window_;
};

} // namespace tk
