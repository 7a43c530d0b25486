// The program's settings in the per-user registry: twelve values under one
// key, read once at start and written back at exit and after the Settings
// dialog is confirmed.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>

extern const char* const SettingsKey;

// The persisted settings held in memory. The main window applies its
// position and state from them and writes its position back into them
// (ui/SettingsPlacement).
struct TSettings {
    int WindowLeft = 0;
    int WindowTop = 0;
    int BadTTL = 0;
    int NewTTL = 0;
    bool Trace = false;
    int TraceLogLen = 0;
    std::string FilteredAdapter;
    bool ExitConfirmation = false;
    // Any non-zero value means on; kept as read, so that a save writes back
    // what the user stored unless the dialog changed it.
    int RewriteIPv6 = 0;
    bool RewriteSent = false;
    // Kept as read, so that a value out of range is written back unless the
    // dialog saved another; SentTtlOf gives the TTL it stands for.
    int SentTTL = 0;
    // Whether balloons are shown at all.
    bool Notifications = false;
};

// The TTL the sent rule gives: "SentTTL" when it is 1..255, else 65 (a TTL
// of 0 would be dropped at the next hop).
std::uint8_t SentTtlOf(const TSettings& Settings) noexcept;

// The values in the order they are read and written.
enum class TSettingId : std::size_t {
    WindowLeft,
    WindowTop,
    BadTTL,
    NewTTL,
    Trace,
    TraceLogLen,
    FilteredAdapter,
    ExitConfirmation,
    RewriteIPv6,
    RewriteSent,
    SentTTL,
    Notifications,
};
constexpr std::size_t SettingCount = 12;

enum class TSettingKind { Integer, Boolean, String };

// One row per value: its registry name and type, the default taken when it
// is absent (booleans 0 or 1; the one string defaults to empty), and the
// member of the record it lives in.
struct TSettingDef {
    const char* Name;
    TSettingKind Kind;
    int Default;
    int TSettings::*Integer = nullptr;
    bool TSettings::*Boolean = nullptr;
    std::string TSettings::*String = nullptr;
};
extern const TSettingDef SettingDefs[SettingCount];

// The owner of the settings: holds their values, loads and saves them under
// one key of HKEY_CURRENT_USER (opened with creation), and knows which it may
// write. Bad values raise tk::Exception with the registry's texts.
class TSettingsStore {
public:
    explicit TSettingsStore(std::string Key = SettingsKey);

    // The values as held; zero, empty and false until a load sets them.
    const TSettings& Values() const noexcept { return values_; }

    // Changes a value. The store marks it set: the next save writes it, even
    // after a load that failed before reaching it.
    void Set(int TSettings::*Member, int Value);
    void Set(bool TSettings::*Member, bool Value);
    void Set(std::string TSettings::*Member, std::string Value);

    // Reads the values in order, each absent one taking its default. A bad
    // value ends the load there: the values after it keep what they held.
    // False, with nothing set, when the key cannot be opened.
    bool Load();

    // Whether the store may write this value: one read by the load or
    // written before, or one set since.
    bool IsKnown(TSettingId Id) const noexcept { return known_.test(static_cast<std::size_t>(Id)); }

    // Writes the values in order, each that the store may write. After a
    // load that failed, the value it failed on and those it never reached
    // therefore keep what is stored, rather than being overwritten with the
    // zeros they hold in memory.
    void Save();

    // Writes this one value, when the store may write it.
    void SaveValue(TSettingId Id);

    const std::string& Key() const noexcept { return key_; }

private:
    template <typename Member>
    void MarkSet(Member TSettingDef::*Place, Member Value) noexcept;

    std::string key_;
    TSettings values_;
    std::bitset<SettingCount> known_;
};
