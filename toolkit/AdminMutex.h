// Named mutexes that only administrators can make: the program runs with
// their rights, and any process of the session can make an object of a name
// first. An object's owner tells one made by an elevated program from one
// made by anything else.
#pragma once

#include "toolkit/Handles.h"

#include <string>

namespace tk {

struct TAdminMutex {
    // Null when it could be neither made nor opened (access denied, or an
    // owner this process may not name, as one without administrator rights).
    UniqueKernelHandle Mutex;
    // It existed already: the descriptor it was made with applies, not ours.
    bool Existed = false;
};

// Made owned by Administrators and open to Administrators (with an elevated
// token) and SYSTEM only, or opened when it exists.
TAdminMutex CreateAdminMutex(const std::string& Name);

// Whether Administrators or SYSTEM own the object, which a program without
// administrator rights cannot make so; false when the owner cannot be read.
bool OwnedByAdministrators(HANDLE Object);

} // namespace tk
