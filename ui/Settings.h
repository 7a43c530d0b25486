// The program's settings in the per-user registry: eight values under one
// key, read once at start and written back at exit and after the Settings
// dialog is confirmed.
#pragma once

#include <bitset>
#include <cstddef>
#include <string>

extern const char* const SettingsKey;

// The persisted settings held in memory; the window's position lives in the window.
struct TSettings {
    int BadTTL = 0;
    int NewTTL = 0;
    bool Trace = false;
    int TraceLogLen = 0;
    std::string FilteredAdapter;
    bool ExitConfirmation = false;
};

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
};
constexpr std::size_t SettingCount = 8;

enum class TSettingKind { Integer, Boolean, String };

// A value's registry name, type and the default taken when it is absent
// (booleans 0 or 1; the one string defaults to empty).
struct TSettingDef {
    const char* Name;
    TSettingKind Kind;
    int Default;
};
extern const TSettingDef SettingDefs[SettingCount];

// The settings that live in the main window: its normal position and its state.
class TSettingsWindow {
public:
    virtual int Left() const = 0;
    virtual int Top() const = 0;
    virtual void SetLeft(int Left) = 0;
    virtual void SetTop(int Top) = 0;
    virtual void SetMinimized(bool Minimized) = 0;

protected:
    ~TSettingsWindow() = default;
};

// Loads and saves the settings under one key of HKEY_CURRENT_USER, opened
// with creation. Bad values raise tk::Exception with the registry's texts.
class TSettingsStore {
public:
    explicit TSettingsStore(std::string Key = SettingsKey);

    // Reads the values in order, each absent one taking its default, and sets
    // the window's left and top edges as soon as each is known; last, the
    // window is minimised when an adapter is remembered. A bad value ends the
    // load there: the window state is not set and the values after it keep
    // what they held. Without the key nothing is set.
    void Load(TSettings& Settings, TSettingsWindow& Window);

    // Writes the values in order, each that the store may write: one read by
    // the load or written before, one marked set since, or a window edge that
    // has moved since the load. After a load that failed, the value it failed
    // on and those it never reached therefore keep what is stored, rather than
    // being overwritten with the zeros they hold in memory.
    void Save(const TSettings& Settings, const TSettingsWindow& Window);

    // Writes this one value, when the store may write it (as Save decides).
    void SaveValue(TSettingId Id, const TSettings& Settings, const TSettingsWindow& Window);

    // The user has set this value since the load (Settings dialog, Enable or Disable).
    void MarkSet(TSettingId Id) noexcept;

    const std::string& Key() const noexcept { return key_; }

private:
    bool MayWrite(TSettingId Id, const TSettingsWindow& Window) const;

    std::string key_;
    std::bitset<SettingCount> known_;
    int leftAfterLoad_ = 0;
    int topAfterLoad_ = 0;
};
