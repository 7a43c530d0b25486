// Values under keys of HKEY_CURRENT_USER that the tests own, written and read
// raw, past the code under test; each test removes its key before and after.
#pragma once

#include "toolkit/Handles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <ostream>
#include <string>

// Where the program keeps its settings.
constexpr const char* kProgramKey = "Software\\Corvantis\\Brackwater";

struct RawValue {
    std::string name;
    DWORD type;
    std::string data;
    bool operator==(const RawValue&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const RawValue& v) {
    out << v.name << " type " << v.type << " data";
    for (unsigned char c : v.data) out << ' ' << int(c);
    return out;
}

inline void DeleteKey(const char* key = kProgramKey) { ::RegDeleteTreeA(HKEY_CURRENT_USER, key); }

inline bool KeyExists(const char* key = kProgramKey) {
    HKEY opened = nullptr;
    const bool exists = ::RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_READ, &opened) == ERROR_SUCCESS;
    const tk::UniqueRegKey owner(opened);
    return exists;
}

// Creates the key when it is missing.
inline void SetValue(const char* name, DWORD type, const void* data, DWORD size, const char* key = kProgramKey) {
    EXPECT_EQ(::RegSetKeyValueA(HKEY_CURRENT_USER, key, name, type, data, size), ERROR_SUCCESS) << name;
}
inline void SetDword(const char* name, DWORD value, const char* key = kProgramKey) {
    SetValue(name, REG_DWORD, &value, sizeof value, key);
}
inline void SetString(const char* name, const std::string& value, DWORD type = REG_SZ, const char* key = kProgramKey) {
    SetValue(name, type, value.c_str(), static_cast<DWORD>(value.size() + 1), key);
}

// The value as stored, unexpanded; none when it is absent.
inline std::optional<RawValue> GetValue(const char* name, const char* key = kProgramKey) {
    constexpr DWORD kAny = RRF_RT_ANY | RRF_NOEXPAND;
    RawValue v{name, 0, {}};
    DWORD size = 0;
    if (::RegGetValueA(HKEY_CURRENT_USER, key, name, kAny, &v.type, nullptr, &size) != ERROR_SUCCESS) return {};
    v.data.resize(size);
    if (::RegGetValueA(HKEY_CURRENT_USER, key, name, kAny, &v.type, v.data.data(), &size) != ERROR_SUCCESS) return {};
    v.data.resize(size);
    return v;
}
inline bool HasValue(const char* name) { return GetValue(name).has_value(); }
inline DWORD GetDword(const char* name) {
    const auto v = GetValue(name);
    if (!v || v->type != REG_DWORD || v->data.size() != sizeof(DWORD)) return 0xDEADBEEF;
    return *reinterpret_cast<const DWORD*>(v->data.data());
}
inline std::string GetString(const char* name) {
    const auto v = GetValue(name);
    return v && v->type == REG_SZ ? std::string(v->data.c_str()) : "<missing>";
}
