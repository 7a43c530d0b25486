#include "toolkit/AdminMutex.h"

#include <aclapi.h>
#include <sddl.h>

namespace tk {

namespace {

// A program without administrator rights can neither make a mutex like it
// nor open it.
constexpr const char* kAccess = "O:BAD:P(A;;GA;;;BA)(A;;GA;;;SY)";

} // namespace

TAdminMutex CreateAdminMutex(const std::string& Name) {
    TAdminMutex made;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // Cannot fail for a constant descriptor; if it did, no mutex is made, and
    // each caller treats that as one it cannot trust.
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(kAccess, SDDL_REVISION_1, &descriptor, nullptr))
        return made;
    const ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    made.Mutex.reset(::CreateMutexA(&attributes, FALSE, Name.c_str()));
    made.Existed = made.Mutex && ::GetLastError() == ERROR_ALREADY_EXISTS;
    return made;
}

bool OwnedByAdministrators(HANDLE Object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(Object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS)
        return false;
    const ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    return owner && (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid));
}

} // namespace tk
