// A global hook of the code under test replaced for one scope.
#pragma once

#include <type_traits>
#include <utility>

// Replaces a global hook (a function pointer the code under test calls) for
// the scope, and puts the previous one back when the scope ends.
template <typename T>
class ScopedOverride {
public:
    ScopedOverride(T& hook, std::type_identity_t<T> replacement) : hook_(hook), previous_(std::exchange(hook, replacement)) {}
    ~ScopedOverride() { hook_ = previous_; }
    ScopedOverride(const ScopedOverride&) = delete;
    ScopedOverride& operator=(const ScopedOverride&) = delete;

private:
    T& hook_;
    T previous_;
};
