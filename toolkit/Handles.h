// Small owning types for Win32 handles, each with its kind's own empty value,
// and a scope guard for one-off clean-ups.
#pragma once

#include <windows.h>

#include <utility>

namespace tk {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type h) noexcept : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Type get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::empty(); }
    Type release() noexcept { return std::exchange(handle_, Traits::empty()); }
    void reset(Type h = Traits::empty()) noexcept {
        Type old = std::exchange(handle_, h);
        if (old != Traits::empty()) Traits::close(old);
    }

private:
    Type handle_ = Traits::empty();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::CloseHandle(h); }
};
struct RegKeyTraits {
    using Type = HKEY;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::RegCloseKey(h); }
};
struct WindowTraits {
    using Type = HWND;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DestroyWindow(h); }
};
struct IconTraits {
    using Type = HICON;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DestroyIcon(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DestroyMenu(h); }
};
struct FontTraits {
    using Type = HFONT;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeleteObject(h); }
};
struct BrushTraits {
    using Type = HBRUSH;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::DeleteObject(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static constexpr Type empty() noexcept { return nullptr; }
    static void close(Type h) noexcept { ::FreeLibrary(h); }
};

using UniqueEvent = UniqueHandle<KernelHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueWindow = UniqueHandle<WindowTraits>;
using UniqueIcon = UniqueHandle<IconTraits>;
using UniqueMenu = UniqueHandle<MenuTraits>;
using UniqueFont = UniqueHandle<FontTraits>;
using UniqueBrush = UniqueHandle<BrushTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;

// Runs a clean-up when the scope ends, also when an exception passes through.
template <typename F>
class ScopeGuard {
public:
    explicit ScopeGuard(F f) noexcept : f_(std::move(f)) {}
    ScopeGuard(const ScopeGuard&) = delete;
    ScopeGuard& operator=(const ScopeGuard&) = delete;
    ~ScopeGuard() {
        if (active_) f_();
    }
    void dismiss() noexcept { active_ = false; }

private:
    F f_;
    bool active_ = true;
};

} // namespace tk
