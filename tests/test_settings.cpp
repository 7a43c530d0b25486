// The settings store without a window, against the test prefix's registry
// under a key of its own.
#include "tests/TestRegistry.h"
#include "toolkit/Exception.h"
#include "ui/Settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

const char* const kKey = "Software\\BrackwaterSettingsStoreTest";

RawValue Dword(const char* name, DWORD value) {
    return {name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof value)};
}
RawValue Text(const char* name, const std::string& text, DWORD type = REG_SZ) {
    return {name, type, std::string(text.c_str(), text.size() + 1)};
}

void Store(const std::vector<RawValue>& values) {
    DeleteKey(kKey);
    for (const RawValue& v : values)
        SetValue(v.name.c_str(), v.type, v.data.data(), static_cast<DWORD>(v.data.size()), kKey);
}

// Every value under the key, by name; none when the key is missing.
std::vector<RawValue> Stored() {
    std::vector<RawValue> values;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != 0) return values;
    const tk::UniqueRegKey owner(key);
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name, type = 0, size = 0;
        if (::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != 0) break;
        std::string data(size, '\0');
        nameLength = sizeof name;
        ::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        values.push_back({name, type, data});
    }
    std::sort(values.begin(), values.end(), [](const RawValue& a, const RawValue& b) { return a.name < b.name; });
    return values;
}

// One start of the program: a store over the test key, loaded.
struct Start {
    TSettingsStore store{std::string("\\") + kKey};
    std::string error;  // the load's, empty when it succeeded

    Start() {
        try {
            store.Load();
        } catch (const tk::Exception& e) {
            error = e.what();
        }
    }
};

auto Fields(const TSettings& s) {
    return std::tie(s.WindowLeft, s.WindowTop, s.BadTTL, s.NewTTL, s.Trace, s.TraceLogLen, s.FilteredAdapter,
                    s.ExitConfirmation, s.RewriteIPv6, s.RewriteSent, s.SentTTL, s.Notifications);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { DeleteKey(kKey); }
    void TearDown() override { DeleteKey(kKey); }
};

const std::string kAdapter = "\\DEVICE\\{B2}";

TEST_F(SettingsStoreTest, LoadReadsInOrderWithDefaultsAndStopsAtABadValue) {
    struct Row {
        const char* name;
        std::vector<RawValue> stored;
        TSettings settings;
        std::string error;
        int sentTtl = 65;  // the TTL the stored "SentTTL" stands for
    };
    const std::vector<Row> rows = {
        {"missing key", {}, {100, 100, 1, 5, false, 100, "", true, 0, false, 65, true}, ""},
        {"stored values as stored",
         {Dword("WindowLeft", static_cast<DWORD>(-3000)), Dword("BadTTL", 300), Dword("NewTTL", 7),
          Dword("Trace", 2), Dword("TraceLogLen", 12), Text("FilteredAdapter", kAdapter),
          Dword("ExitConfirmation", 0), Dword("RewriteIPv6", 7), Dword("RewriteSent", 3), Dword("SentTTL", 300),
          Dword("Notifications", 0)},
         {-3000, 100, 300, 7, true, 12, kAdapter, false, 7, true, 300, false},
         ""},
        {"sent TTL stored", {Dword("SentTTL", 128)}, {100, 100, 1, 5, false, 100, "", true, 0, false, 128, true}, "",
         128},
        {"sent TTL 0", {Dword("SentTTL", 0)}, {100, 100, 1, 5, false, 100, "", true, 0, false, 0, true}, ""},
        {"expandable adapter name, unexpanded",
         {Text("FilteredAdapter", "%TEMP%", REG_EXPAND_SZ)},
         {100, 100, 1, 5, false, 100, "%TEMP%", true, 0, false, 65, true},
         ""},
        {"bad top edge keeps the left edge read", {Dword("WindowLeft", 40), Text("WindowTop", "x")}, {40},
         "Invalid data type for 'WindowTop'"},
        {"integer stored as a long text", {Text("BadTTL", "a longer text")}, {100, 100},
         "Failed to get data for 'BadTTL'"},
        {"bad NewTTL", {Dword("BadTTL", 3), Text("NewTTL", "x")}, {100, 100, 3}, "Invalid data type for 'NewTTL'"},
        {"adapter stored as an integer", {Dword("FilteredAdapter", 1)}, {100, 100, 1, 5, false, 100, "", false},
         "Invalid data type for 'FilteredAdapter'"},
        {"boolean of eight bytes", {Text("ExitConfirmation", std::string(7, 'y'), REG_BINARY)},
         {100, 100, 1, 5, false, 100, "", false}, "Failed to get data for 'ExitConfirmation'"},
        {"RewriteIPv6 stored as text", {Text("RewriteIPv6", "x")}, {100, 100, 1, 5, false, 100, "", true},
         "Invalid data type for 'RewriteIPv6'"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.stored);
        const Start run;
        EXPECT_EQ(run.error, row.error);
        EXPECT_EQ(Fields(run.store.Values()), Fields(row.settings));
        EXPECT_EQ(SentTtlOf(run.store.Values()), row.sentTtl);
        EXPECT_TRUE(KeyExists(kKey));
    }
}

// After a load, the user's actions, a save and the next start's load.
TEST_F(SettingsStoreTest, SaveKeepsWhatALoadNeverReached) {
    using Action = std::function<void(TSettingsStore&)>;
    const Action nothing = [](TSettingsStore&) {};
    struct Row {
        const char* name;
        std::vector<RawValue> stored;
        Action action;
        std::vector<RawValue> after;  // by name
        std::string nextError;
    };
    const Row rows[] = {
        {"a full load writes all twelve, booleans normalised, a sent TTL out of range as read",
         {Dword("Trace", 2), Dword("NewTTL", 9), Dword("RewriteIPv6", 7), Dword("RewriteSent", 2),
          Dword("SentTTL", 300), Dword("Notifications", 5)},
         nothing,
         {Dword("BadTTL", 1), Dword("ExitConfirmation", 1), Text("FilteredAdapter", ""), Dword("NewTTL", 9),
          Dword("Notifications", 1), Dword("RewriteIPv6", 7), Dword("RewriteSent", 1), Dword("SentTTL", 300),
          Dword("Trace", 1), Dword("TraceLogLen", 100), Dword("WindowLeft", 100), Dword("WindowTop", 100)},
         ""},
        {"bad BadTTL keeps the user's later values",
         {Text("BadTTL", "x"), Dword("NewTTL", 5), Dword("ExitConfirmation", 1), Text("FilteredAdapter", kAdapter)},
         nothing,
         {Text("BadTTL", "x"), Dword("ExitConfirmation", 1), Text("FilteredAdapter", kAdapter), Dword("NewTTL", 5),
          Dword("WindowLeft", 100), Dword("WindowTop", 100)},
         "Invalid data type for 'BadTTL'"},
        {"bad NewTTL is neither replaced by zero nor hidden",
         {Dword("BadTTL", 3), Text("NewTTL", "x"), Dword("TraceLogLen", 50)},
         nothing,
         {Dword("BadTTL", 3), Text("NewTTL", "x"), Dword("TraceLogLen", 50), Dword("WindowLeft", 100),
          Dword("WindowTop", 100)},
         "Invalid data type for 'NewTTL'"},
        {"the Settings dialog mends the bad value",
         {Text("NewTTL", "x"), Dword("ExitConfirmation", 0)},
         [](TSettingsStore& store) {
             store.Set(&TSettings::BadTTL, store.Values().BadTTL);
             store.Set(&TSettings::NewTTL, 9);
             store.Set(&TSettings::ExitConfirmation, store.Values().ExitConfirmation);
         },
         {Dword("BadTTL", 1), Dword("ExitConfirmation", 0), Dword("NewTTL", 9), Dword("WindowLeft", 100),
          Dword("WindowTop", 100)},
         ""},
        {"Disable forgets the adapter after a failed load",
         {Text("BadTTL", "x"), Text("FilteredAdapter", kAdapter)},
         [](TSettingsStore& store) { store.Set(&TSettings::FilteredAdapter, ""); },
         {Text("BadTTL", "x"), Text("FilteredAdapter", ""), Dword("WindowLeft", 100), Dword("WindowTop", 100)},
         "Invalid data type for 'BadTTL'"},
        {"an unread top edge stays until it is set",
         {Dword("WindowLeft", 40), Text("WindowTop", "x")},
         nothing,
         {Dword("WindowLeft", 40), Text("WindowTop", "x")},
         "Invalid data type for 'WindowTop'"},
        {"an unread edge set since is written",
         {Dword("WindowLeft", 40), Text("WindowTop", "x")},
         [](TSettingsStore& store) { store.Set(&TSettings::WindowTop, 300); },
         {Dword("WindowLeft", 40), Dword("WindowTop", 300)},
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Store(row.stored);
        {
            Start run;
            row.action(run.store);
            run.store.Save();
        }
        EXPECT_EQ(Stored(), row.after);
        EXPECT_EQ(Start().error, row.nextError);
    }
}

TEST_F(SettingsStoreTest, AValueWrittenOnceIsWrittenAgain) {
    Store({Text("BadTTL", "x")});
    Start run;
    run.store.Set(&TSettings::NewTTL, 7);
    run.store.Save();
    run.store.Set(&TSettings::NewTTL, 8);
    run.store.Save();
    EXPECT_EQ(Stored(), (std::vector<RawValue>{Text("BadTTL", "x"), Dword("NewTTL", 8), Dword("WindowLeft", 100),
                                               Dword("WindowTop", 100)}));
}

} // namespace
