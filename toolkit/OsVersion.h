// The platform's own version report, as GetVersionExA gives it.
#pragma once

#include <windows.h>

namespace tk {

// Fills `version` (its size field set to the 148-byte ANSI record first);
// false when the call fails, the record then zero but for the size.
inline bool GetOsVersion(OSVERSIONINFOA& version) noexcept {
    static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");
    version = OSVERSIONINFOA{};
    version.dwOSVersionInfoSize = sizeof version;
    // Deprecated for its manifest-dependent answers, but it is the call the
    // platform checks below are defined by.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    return ::GetVersionExA(&version) != FALSE;
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

} // namespace tk
