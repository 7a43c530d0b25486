#include "ui/AppVersion.h"

#include "toolkit/FileVersion.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

std::string TranslationKey(std::uint16_t Language, std::uint16_t CodePage) {
    char key[9];
    std::snprintf(key, sizeof key, "%04X%04X", Language, CodePage);
    return key;
}

void ReadAppInfoFromBlock(const void* Block, TAppInfo& Info) {
    void* translation = nullptr;
    UINT length = 0;
    if (!tk::QueryVersionValue(Block, "\\VarFileInfo\\Translation", &translation, &length) || length < 4) return;
    const auto* words = static_cast<const std::uint16_t*>(translation);
    const std::string key = TranslationKey(words[0], words[1]);

    auto query = [&](const char* name) -> std::string {
        char path[64];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%s\\%s", key.c_str(), name);
        void* value = nullptr;
        UINT size = 0;
        if (tk::QueryVersionValue(Block, path, &value, &size) && size > 0 && value) {
            // The length may or may not count the terminating NUL; stop at the first one.
            const char* text = static_cast<const char*>(value);
            std::string s(text, ::strnlen(text, size));
            if (!s.empty()) return s;
        }
        return "n/a";
    };
    Info.FileVersion = query("FileVersion");
    Info.ProductName = query("ProductName");
    Info.LegalCopyright = query("LegalCopyright");
}

void ReadAppInfo(const std::string& FileName, TAppInfo& Info) {
    const std::vector<char> block = tk::ReadVersionBlock(FileName);
    if (!block.empty()) ReadAppInfoFromBlock(block.data(), Info);
}

void ReadAppInfo(TAppInfo& Info) {
    char fileName[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, fileName, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    ReadAppInfo(fileName, Info);
}
