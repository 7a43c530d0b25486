// Reading and writing values of one registry key.
#pragma once

#include "toolkit/Handles.h"

#include <optional>
#include <string>

namespace tk {

// Every write of a value goes through here (RegSetValueExA by default), so
// that tests can make one fail where the platform would not refuse it.
using TRegSetValueEx = LONG(WINAPI*)(HKEY Key, LPCSTR Name, DWORD Reserved, DWORD Type, const BYTE* Data, DWORD Size);
extern TRegSetValueEx RegSetValueExProc;

// One open key under a root (HKEY_CURRENT_USER by default). Type errors and
// failed reads and writes raise tk::Exception with the value's name:
// "Failed to get data for '%s'", "Invalid data type for '%s'",
// "Failed to set data for '%s'".
class TRegistry {
public:
    explicit TRegistry(HKEY root = HKEY_CURRENT_USER);

    // Opens `key` ("\A\B" from the root; "A\B" from the open key, or from the
    // root when none is open), creating it when `canCreate`. False on failure
    // (no exception); the key open before stays open then.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey() noexcept;
    HKEY CurrentKey() const noexcept { return key_.get(); }
    // Path of the open key below the root, without leading backslash.
    const std::string& CurrentPath() const noexcept { return path_; }

    bool ValueExists(const std::string& name) const;

    // A REG_DWORD value. Another type: "Failed to get data" when its data is
    // longer than 4 bytes, "Invalid data type" otherwise. Absent: "Failed to get data".
    int ReadInteger(const std::string& name) const;
    // ReadInteger != 0.
    bool ReadBool(const std::string& name) const;
    // The same reads, answering "absent" for a missing value instead of failing.
    std::optional<int> ReadOptionalInteger(const std::string& name) const;
    std::optional<std::string> ReadOptionalString(const std::string& name) const;
    // A REG_SZ or REG_EXPAND_SZ value up to its first NUL (unexpanded), of any
    // length, terminated or not. Another type: "Invalid data type"; absent:
    // "Failed to get data".
    std::string ReadString(const std::string& name) const;

    void WriteInteger(const std::string& name, int value);
    // Written as the integer 1 or 0.
    void WriteBool(const std::string& name, bool value);
    // Written as REG_SZ with its terminating NUL.
    void WriteString(const std::string& name, const std::string& value);

private:
    HKEY root_;
    UniqueRegKey key_;
    std::string path_;
};

} // namespace tk
