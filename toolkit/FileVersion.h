// A file's version resource, as GetFileVersionInfoA gives it, and a query
// into it. The version library is loaded from the system folder on first use:
// it is not one of the libraries Windows always takes from there, and a copy
// placed beside the program would otherwise be loaded with its rights.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tk {

// The whole version resource of a file, empty when it has none or it cannot be read.
std::vector<char> ReadVersionBlock(const std::string& FileName);

// VerQueryValueA over a block read above; false also when the library is missing.
bool QueryVersionValue(const void* Block, const char* SubBlock, void** Value, UINT* Length);

} // namespace tk
