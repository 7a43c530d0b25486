#include "toolkit/FileVersion.h"

#include "toolkit/Handles.h"

namespace tk {

namespace {

struct VersionLibrary {
    UniqueModule module;
    decltype(&::GetFileVersionInfoSizeA) sizeOf = nullptr;
    decltype(&::GetFileVersionInfoA) read = nullptr;
    decltype(&::VerQueryValueA) query = nullptr;
};

HMODULE LoadFromSystemFolder(const char* name) {
    if (HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return module;
    // Windows 7 without its loader update knows no search flags: the full path does the same.
    char folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return ::LoadLibraryA((std::string(folder) + "\\" + name).c_str());
}

template <typename Function>
void Bind(HMODULE module, const char* name, Function& function) {
    function = module ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

const VersionLibrary& Library() {
    static const VersionLibrary library = [] {
        VersionLibrary l;
        l.module.reset(LoadFromSystemFolder("version.dll"));
        Bind(l.module.get(), "GetFileVersionInfoSizeA", l.sizeOf);
        Bind(l.module.get(), "GetFileVersionInfoA", l.read);
        Bind(l.module.get(), "VerQueryValueA", l.query);
        return l;
    }();
    return library;
}

} // namespace

std::vector<char> ReadVersionBlock(const std::string& FileName) {
    const VersionLibrary& library = Library();
    if (!library.sizeOf || !library.read) return {};
    DWORD handle = 0;
    const DWORD size = library.sizeOf(FileName.c_str(), &handle);
    if (size == 0) return {};
    // Owned by the vector, so it is released on every path.
    std::vector<char> block(size, 0);
    if (!library.read(FileName.c_str(), 0, size, block.data())) return {};
    return block;
}

bool QueryVersionValue(const void* Block, const char* SubBlock, void** Value, UINT* Length) {
    const VersionLibrary& library = Library();
    return library.query && library.query(Block, SubBlock, Value, Length);
}

} // namespace tk
