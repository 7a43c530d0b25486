#include "toolkit/FileVersion.h"

#include <windows.h>

namespace tk {

std::vector<char> ReadVersionBlock(const std::string& FileName) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(FileName.c_str(), &handle);
    if (size == 0) return {};
    // Owned by the vector, so it is released on every path.
    std::vector<char> block(size, 0);
    if (!::GetFileVersionInfoA(FileName.c_str(), 0, size, block.data())) return {};
    return block;
}

} // namespace tk
