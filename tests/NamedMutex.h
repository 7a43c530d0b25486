// Named mutexes as another Brackwater or another program would make them.
#pragma once

#include "toolkit/Handles.h"

#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>

// `access` null makes it without a descriptor, which under Wine leaves it
// without owner. Null when it could not be made.
inline std::shared_ptr<void> MakeMutex(const std::string& name, const std::string* access, BOOL owned) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (access)
        ::ConvertStringSecurityDescriptorToSecurityDescriptorA(access->c_str(), SDDL_REVISION_1, &descriptor, nullptr);
    tk::ScopeGuard freeDescriptor([descriptor] { ::LocalFree(descriptor); });
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    auto mutex = std::make_shared<tk::UniqueKernelHandle>(::CreateMutexA(access ? &attributes : nullptr, owned, name.c_str()));
    return *mutex ? mutex : nullptr;
}

// The string form of this process's user SID.
inline std::string UserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    const tk::UniqueKernelHandle owner(token);
    char user[256], *sid = nullptr;
    DWORD size = sizeof user;
    ::GetTokenInformation(token, TokenUser, user, size, &size);
    ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    const tk::ScopeGuard freeSid([sid] { ::LocalFree(sid); });
    return sid ? sid : "";
}

// Owned by the user, open to everyone: what a program without administrator rights makes.
inline std::string UserAccess() { return "O:" + UserSid() + "D:(A;;GA;;;WD)"; }
