// Loads a library from the Windows system folder and from nowhere else. For a
// program with administrator rights, the other folders of the search path (its
// own, the current one, PATH) may be ones that users without them can write.
#pragma once

#include <windows.h>

namespace tk {

// The library of that file name in the system folder (SysWOW64 for a 32-bit
// process on 64-bit Windows), null when it cannot be loaded from there.
HMODULE LoadSystemLibrary(const char* Name);

// Makes the system folder the only place the process loads libraries from by
// bare name, its own and those Windows components load later alike, where
// kernel32 can (SetDefaultDllDirectories, looked up at run time: Windows 7
// has it only with its loader update). Where it cannot, nothing changes: the
// caller's own loads name the system folder anyway.
void LoadLibrariesFromSystemFolderOnly();

// The export of that name as a pointer of the caller's function type; null
// when Module is null or has no such export.
template <typename Function>
Function ProcAddress(HMODULE Module, const char* Name) {
    return Module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(Module, Name))) : nullptr;
}

} // namespace tk
