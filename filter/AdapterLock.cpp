#include "AdapterLock.h"

#include "toolkit/AdminMutex.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

constexpr DWORD kHolderGraceMs = 5000;

constexpr char kPrefix[] = "Global\\Corvantis.Brackwater.Adapter.";
// CreateMutexA refuses a longer name.
constexpr std::size_t kLongestName = MAX_PATH - 1;

std::uint64_t Fnv1a64(const std::string& Bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char byte : Bytes) hash = (hash ^ byte) * 0x100000001b3ull;
    return hash;
}

// The hash is over the internal name as the driver lists it, backslashes and all.
std::string LockName(const std::string& InternalName) {
    std::string name = kPrefix + InternalName;
    if (name.size() <= kLongestName) {
        // A backslash would name a subfolder of the object namespace.
        std::replace(name.begin() + (sizeof kPrefix - 1), name.end(), '\\', '_');
        return name;
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(InternalName)));
    return std::string(kPrefix) + "#" + hash;
}

} // namespace

TAdapterLock::TAdapterLock(const std::string& InternalName, HANDLE Stop) {
    tk::TAdminMutex made = tk::CreateAdminMutex(LockName(InternalName));
    // Refused, or made by a program that cannot be a Brackwater: it may not
    // keep this adapter from being filtered, so no wait.
    if (!made.Mutex || (made.Existed && !tk::OwnedByAdministrators(made.Mutex.get()))) return;
    mutex_ = std::move(made.Mutex);

    const HANDLE waits[2] = {mutex_.get(), Stop};
    switch (::WaitForMultipleObjects(Stop ? 2 : 1, waits, FALSE, kHolderGraceMs)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED_0:
            state_ = Taken;
            break;
        case WAIT_OBJECT_0 + 1:
            state_ = Stopped;
            break;
        default:
            state_ = Busy;
            break;
    }
}

TAdapterLock::~TAdapterLock() {
    if (state_ == Taken) ::ReleaseMutex(mutex_.get());
}
