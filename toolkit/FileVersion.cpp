#include "toolkit/FileVersion.h"

#include "toolkit/Handles.h"
#include "toolkit/SystemLibrary.h"

namespace tk {

namespace {

struct VersionLibrary {
    UniqueModule module;
    decltype(&::GetFileVersionInfoSizeA) sizeOf = nullptr;
    decltype(&::GetFileVersionInfoA) read = nullptr;
    decltype(&::VerQueryValueA) query = nullptr;
};

const VersionLibrary& Library() {
    static const VersionLibrary library = [] {
        VersionLibrary l;
        l.module.reset(LoadSystemLibrary("version.dll"));
        l.sizeOf = ProcAddress<decltype(l.sizeOf)>(l.module.get(), "GetFileVersionInfoSizeA");
        l.read = ProcAddress<decltype(l.read)>(l.module.get(), "GetFileVersionInfoA");
        l.query = ProcAddress<decltype(l.query)>(l.module.get(), "VerQueryValueA");
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
