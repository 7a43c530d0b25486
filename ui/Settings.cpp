#include "ui/Settings.h"

#include "toolkit/Handles.h"
#include "toolkit/Registry.h"

const char* const SettingsKey = "\\Software\\Corvantis\\Brackwater";

const TSettingDef SettingDefs[SettingCount] = {
    {"WindowLeft", TSettingKind::Integer, 100},
    {"WindowTop", TSettingKind::Integer, 100},
    {"BadTTL", TSettingKind::Integer, 1},
    {"NewTTL", TSettingKind::Integer, 5},
    {"Trace", TSettingKind::Boolean, 0},
    {"TraceLogLen", TSettingKind::Integer, 100},
    {"FilteredAdapter", TSettingKind::String, 0},
    {"ExitConfirmation", TSettingKind::Boolean, 1},
};

namespace {

// One value as read or about to be written: Number for integers and
// booleans, Text for the string.
struct TSettingValue {
    int Number = 0;
    std::string Text;
};

TSettingValue ReadValue(const tk::TRegistry& reg, const TSettingDef& def) {
    TSettingValue value;
    if (def.Kind == TSettingKind::String)
        value.Text = reg.ReadOptionalString(def.Name).value_or("");
    else
        value.Number = reg.ReadOptionalInteger(def.Name).value_or(def.Default);
    return value;
}

void WriteValue(tk::TRegistry& reg, const TSettingDef& def, const TSettingValue& value) {
    switch (def.Kind) {
        case TSettingKind::Integer: reg.WriteInteger(def.Name, value.Number); break;
        case TSettingKind::Boolean: reg.WriteBool(def.Name, value.Number != 0); break;
        case TSettingKind::String: reg.WriteString(def.Name, value.Text); break;
    }
}

void Apply(TSettingId id, const TSettingValue& value, TSettings& settings, TSettingsWindow& window) {
    switch (id) {
        case TSettingId::WindowLeft: window.SetLeft(value.Number); break;
        case TSettingId::WindowTop: window.SetTop(value.Number); break;
        case TSettingId::BadTTL: settings.BadTTL = value.Number; break;
        case TSettingId::NewTTL: settings.NewTTL = value.Number; break;
        case TSettingId::Trace: settings.Trace = value.Number != 0; break;
        case TSettingId::TraceLogLen: settings.TraceLogLen = value.Number; break;
        case TSettingId::FilteredAdapter: settings.FilteredAdapter = value.Text; break;
        case TSettingId::ExitConfirmation: settings.ExitConfirmation = value.Number != 0; break;
    }
}

TSettingValue Collect(TSettingId id, const TSettings& settings, const TSettingsWindow& window) {
    TSettingValue value;
    switch (id) {
        case TSettingId::WindowLeft: value.Number = window.Left(); break;
        case TSettingId::WindowTop: value.Number = window.Top(); break;
        case TSettingId::BadTTL: value.Number = settings.BadTTL; break;
        case TSettingId::NewTTL: value.Number = settings.NewTTL; break;
        case TSettingId::Trace: value.Number = settings.Trace; break;
        case TSettingId::TraceLogLen: value.Number = settings.TraceLogLen; break;
        case TSettingId::FilteredAdapter: value.Text = settings.FilteredAdapter; break;
        case TSettingId::ExitConfirmation: value.Number = settings.ExitConfirmation; break;
    }
    return value;
}

TSettingId IdAt(std::size_t index) { return static_cast<TSettingId>(index); }

} // namespace

TSettingsStore::TSettingsStore(std::string Key) : key_(std::move(Key)) {}

void TSettingsStore::Load(TSettings& Settings, TSettingsWindow& Window) {
    known_.reset();
    // Whatever the load leaves is the window's position as loaded, also when
    // it fails half-way: a save writes an edge it did not read only once the
    // user has moved the window.
    tk::ScopeGuard notePosition([&] {
        leftAfterLoad_ = Window.Left();
        topAfterLoad_ = Window.Top();
    });
    tk::TRegistry reg;
    if (!reg.OpenKey(key_, true)) return;
    for (std::size_t i = 0; i < SettingCount; ++i) {
        Apply(IdAt(i), ReadValue(reg, SettingDefs[i]), Settings, Window);
        known_.set(i);
    }
    Window.SetMinimized(!Settings.FilteredAdapter.empty());
}

bool TSettingsStore::MayWrite(TSettingId Id, const TSettingsWindow& Window) const {
    if (known_.test(static_cast<std::size_t>(Id))) return true;
    if (Id == TSettingId::WindowLeft) return Window.Left() != leftAfterLoad_;
    if (Id == TSettingId::WindowTop) return Window.Top() != topAfterLoad_;
    return false;
}

void TSettingsStore::Save(const TSettings& Settings, const TSettingsWindow& Window) {
    tk::TRegistry reg;
    if (!reg.OpenKey(key_, true)) return;
    for (std::size_t i = 0; i < SettingCount; ++i) {
        if (!MayWrite(IdAt(i), Window)) continue;
        WriteValue(reg, SettingDefs[i], Collect(IdAt(i), Settings, Window));
        known_.set(i);
    }
}

void TSettingsStore::SaveValue(TSettingId Id, const TSettings& Settings, const TSettingsWindow& Window) {
    const std::size_t i = static_cast<std::size_t>(Id);
    tk::TRegistry reg;
    if (!MayWrite(Id, Window) || !reg.OpenKey(key_, true)) return;
    WriteValue(reg, SettingDefs[i], Collect(Id, Settings, Window));
    known_.set(i);
}

void TSettingsStore::MarkSet(TSettingId Id) noexcept {
    known_.set(static_cast<std::size_t>(Id));
}
