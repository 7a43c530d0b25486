#include "AdapterLock.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

constexpr DWORD kHolderGraceMs = 5000;

// Owned by Administrators, open to Administrators (with an elevated token) and
// SYSTEM only: a program without administrator rights can neither make a lock
// like it nor open it.
constexpr const char* kAccess = "O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)";

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

// Only an owner that a program without administrator rights cannot give an
// object marks a lock of another Brackwater.
bool OwnedByAdministrators(HANDLE Mutex) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(Mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return false;
    const tk::ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    return owner && (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid));
}

} // namespace

TAdapterLock::TAdapterLock(const std::string& InternalName, HANDLE Stop) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // Cannot fail for a constant descriptor; if it did, the adapter would be
    // unguarded, and the warning says so.
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kAccess, SDDL_REVISION_1, &descriptor, nullptr))
        return;
    const tk::ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    tk::UniqueKernelHandle mutex(::CreateMutexA(&attributes, FALSE, LockName(InternalName).c_str()));
    // Existing already, the descriptor it was made with applies, not ours.
    const bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    // Refused (access denied, or an owner this process may not name, as one
    // without administrator rights), or made by a program that cannot be a
    // Brackwater: it may not keep this adapter from being filtered, so no wait.
    if (!mutex || (existed && !OwnedByAdministrators(mutex.get()))) return;
    mutex_ = std::move(mutex);

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
