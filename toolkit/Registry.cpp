#include "toolkit/Registry.h"

#include "toolkit/Exception.h"

#include <vector>

namespace tk {

TRegSetValueEx RegSetValueExProc = ::RegSetValueExA;

namespace {

[[noreturn]] void Fail(const char* format, const std::string& name) { throw Exception(Format(format, name.c_str())); }

constexpr const char* kGetFailed = "Failed to get data for '%s'";
constexpr const char* kInvalidType = "Invalid data type for '%s'";
constexpr const char* kSetFailed = "Failed to set data for '%s'";

} // namespace

TRegistry::TRegistry(HKEY root) : root_(root) {}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    const bool absolute = !key.empty() && key.front() == '\\';
    std::string sub = absolute ? key.substr(1) : key;
    HKEY base = (!absolute && key_) ? key_.get() : root_;
    HKEY opened = nullptr;
    LONG rc;
    if (!canCreate || sub.empty())
        rc = ::RegOpenKeyExA(base, sub.c_str(), 0, KEY_ALL_ACCESS, &opened);
    else
        rc = ::RegCreateKeyExA(base, sub.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                               &opened, nullptr);
    if (rc != ERROR_SUCCESS) return false;
    std::string path = (!absolute && key_) ? (sub.empty() ? path_ : path_ + "\\" + sub) : sub;
    key_.reset(opened);
    path_ = std::move(path);
    return true;
}

void TRegistry::CloseKey() noexcept {
    key_.reset();
    path_.clear();
}

bool TRegistry::ValueExists(const std::string& name) const {
    return key_ && ::RegQueryValueExA(key_.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::optional<int> TRegistry::ReadOptionalInteger(const std::string& name) const {
    if (!key_) Fail(kGetFailed, name);
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    // Data longer than the 4-byte buffer fails the read itself (ERROR_MORE_DATA).
    const LONG rc =
        ::RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (rc != ERROR_SUCCESS) Fail(kGetFailed, name);
    if (type != REG_DWORD) Fail(kInvalidType, name);
    return static_cast<int>(value);
}

int TRegistry::ReadInteger(const std::string& name) const {
    const std::optional<int> value = ReadOptionalInteger(name);
    if (!value) Fail(kGetFailed, name);
    return *value;
}

bool TRegistry::ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }

std::string TRegistry::ReadString(const std::string& name) const {
    std::optional<std::string> value = ReadOptionalString(name);
    if (!value) Fail(kGetFailed, name);
    return std::move(*value);
}

std::optional<std::string> TRegistry::ReadOptionalString(const std::string& name) const {
    if (!key_) Fail(kGetFailed, name);
    DWORD type = 0;
    DWORD size = 0;
    const LONG found = ::RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (found == ERROR_FILE_NOT_FOUND) return std::nullopt;
    if (found != ERROR_SUCCESS) Fail(kGetFailed, name);
    if (type != REG_SZ && type != REG_EXPAND_SZ) Fail(kInvalidType, name);
    // One spare zero byte terminates data stored without its NUL; the value
    // may grow between the two queries, so ask again until it fits.
    std::vector<char> buffer;
    for (;;) {
        buffer.assign(static_cast<size_t>(size) + 1, '\0');
        DWORD got = size;
        const LONG rc =
            ::RegQueryValueExA(key_.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got > size ? got : size * 2 + 16;
            continue;
        }
        if (rc != ERROR_SUCCESS) Fail(kGetFailed, name);
        if (type != REG_SZ && type != REG_EXPAND_SZ) Fail(kInvalidType, name);
        buffer[got < buffer.size() ? got : buffer.size() - 1] = '\0';
        return std::string(buffer.data());
    }
}

void TRegistry::WriteInteger(const std::string& name, int value) {
    const DWORD data = static_cast<DWORD>(value);
    if (!key_ || RegSetValueExProc(key_.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                  sizeof data) != ERROR_SUCCESS)
        Fail(kSetFailed, name);
}

void TRegistry::WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!key_ || RegSetValueExProc(key_.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
        Fail(kSetFailed, name);
}

} // namespace tk
