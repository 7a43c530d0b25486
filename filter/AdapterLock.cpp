#include "AdapterLock.h"

#include <sddl.h>

#include <algorithm>

namespace {

constexpr DWORD kHolderGraceMs = 5000;

// Administrators (with an elevated token) and SYSTEM only: a program run
// without administrator rights can neither take the lock nor hold it open.
constexpr const char* kAccess = "D:P(A;;GA;;;BA)(A;;GA;;;SY)";

// A backslash would name a subfolder of the object namespace.
std::string LockName(std::string InternalName) {
    std::replace(InternalName.begin(), InternalName.end(), '\\', '_');
    return "Global\\Corvantis.Brackwater.Adapter." + InternalName;
}

} // namespace

TAdapterLock::TAdapterLock(const std::string& InternalName, HANDLE Stop) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kAccess, SDDL_REVISION_1, &descriptor, nullptr))
        descriptor = nullptr;
    tk::ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // Existing already, the access list it was made with applies, not ours.
    mutex_.reset(::CreateMutexA(descriptor ? &attributes : nullptr, FALSE, LockName(InternalName).c_str()));
    // Access denied: made by a program without administrator rights, which
    // cannot be a Brackwater.
    if (!mutex_) return;

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
