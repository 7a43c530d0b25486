#include "toolkit/SystemLibrary.h"

#include <string>

namespace tk {

void LoadLibrariesFromSystemFolderOnly() {
    using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD DirectoryFlags);
    const auto setDefault = ProcAddress<TSetDefaultDllDirectories>(::GetModuleHandleA("kernel32.dll"),
                                                                   "SetDefaultDllDirectories");
    // A flag it always accepts.
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemLibrary(const char* Name) {
    // AddDllDirectory came with the loader update that taught LoadLibraryExA
    // the search flags; without it (Windows 7 unpatched) the flag would be
    // refused, and the full path does the same.
    if (::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "AddDllDirectory"))
        return ::LoadLibraryExA(Name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    // Its own imports are then looked for beside it first, not beside the program.
    return ::LoadLibraryExA((std::string(folder) + "\\" + Name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace tk
