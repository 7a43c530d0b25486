// The program's product name, file version and legal notice, read from the
// running executable's own version resource.
#pragma once

#include <cstdint>
#include <string>

struct TAppInfo {
    std::string FileVersion;
    std::string ProductName;
    std::string LegalCopyright;
};

// Fills Info from the running executable's version resource. Without a
// resource, or when it cannot be read, Info keeps its values; a value missing
// from the string table, or empty, reads "n/a".
void ReadAppInfo(TAppInfo& Info);

// The same for the version resource of any file.
void ReadAppInfo(const std::string& FileName, TAppInfo& Info);

// The same over a version block already read (GetFileVersionInfoA's output).
void ReadAppInfoFromBlock(const void* Block, TAppInfo& Info);

// The string-table key of a translation entry: both words as four upper-case
// hexadecimal digits each ("040904E4").
std::string TranslationKey(std::uint16_t Language, std::uint16_t CodePage);
