// A file's version resource, as GetFileVersionInfoA gives it.
#pragma once

#include <string>
#include <vector>

namespace tk {

// The whole version resource of a file, empty when it has none or it cannot be read.
std::vector<char> ReadVersionBlock(const std::string& FileName);

} // namespace tk
