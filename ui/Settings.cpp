#include "ui/Settings.h"

#include "toolkit/Handles.h"
#include "toolkit/Registry.h"

const char* const SettingsKey = "\\Software\\Corvantis\\Brackwater";

const TSettingDef SettingDefs[SettingCount] = {
    {"WindowLeft", TSettingKind::Integer, 100, {}, {}, {}, &TSettingsWindow::Left, &TSettingsWindow::SetLeft},
    {"WindowTop", TSettingKind::Integer, 100, {}, {}, {}, &TSettingsWindow::Top, &TSettingsWindow::SetTop},
    {"BadTTL", TSettingKind::Integer, 1, &TSettings::BadTTL},
    {"NewTTL", TSettingKind::Integer, 5, &TSettings::NewTTL},
    {"Trace", TSettingKind::Boolean, 0, {}, &TSettings::Trace},
    {"TraceLogLen", TSettingKind::Integer, 100, &TSettings::TraceLogLen},
    {"FilteredAdapter", TSettingKind::String, 0, {}, {}, &TSettings::FilteredAdapter},
    {"ExitConfirmation", TSettingKind::Boolean, 1, {}, &TSettings::ExitConfirmation},
    {"RewriteIPv6", TSettingKind::Integer, 0, &TSettings::RewriteIPv6},
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

void Apply(const TSettingDef& def, const TSettingValue& value, TSettings& settings, TSettingsWindow& window) {
    if (def.Integer) settings.*def.Integer = value.Number;
    if (def.Boolean) settings.*def.Boolean = value.Number != 0;
    if (def.String) settings.*def.String = value.Text;
    if (def.SetEdge) (window.*def.SetEdge)(value.Number);
}

TSettingValue Collect(const TSettingDef& def, const TSettings& settings, const TSettingsWindow& window) {
    TSettingValue value;
    if (def.Integer) value.Number = settings.*def.Integer;
    if (def.Boolean) value.Number = settings.*def.Boolean;
    if (def.String) value.Text = settings.*def.String;
    if (def.Edge) value.Number = (window.*def.Edge)();
    return value;
}

} // namespace

TSettingsStore::TSettingsStore(std::string Key) : key_(std::move(Key)) {}

template <typename Member>
void TSettingsStore::MarkSet(Member TSettingDef::*Place, Member Value) noexcept {
    for (std::size_t i = 0; i < SettingCount; ++i)
        if (SettingDefs[i].*Place == Value) known_.set(i);
}

void TSettingsStore::Set(int TSettings::*Member, int Value) {
    values_.*Member = Value;
    MarkSet(&TSettingDef::Integer, Member);
}

void TSettingsStore::Set(bool TSettings::*Member, bool Value) {
    values_.*Member = Value;
    MarkSet(&TSettingDef::Boolean, Member);
}

void TSettingsStore::Set(std::string TSettings::*Member, std::string Value) {
    values_.*Member = std::move(Value);
    MarkSet(&TSettingDef::String, Member);
}

void TSettingsStore::Load(TSettingsWindow& Window) {
    known_.reset();
    // Whatever the load leaves is the window's position as loaded, also when
    // it fails half-way: a save writes an edge it did not read only once the
    // user has moved the window.
    tk::ScopeGuard notePosition([&] {
        for (std::size_t i = 0; i < SettingCount; ++i)
            if (SettingDefs[i].Edge) edgesAfterLoad_[i] = (Window.*SettingDefs[i].Edge)();
    });
    tk::TRegistry reg;
    if (!reg.OpenKey(key_, true)) return;
    for (std::size_t i = 0; i < SettingCount; ++i) {
        Apply(SettingDefs[i], ReadValue(reg, SettingDefs[i]), values_, Window);
        known_.set(i);
    }
    Window.SetMinimized(!values_.FilteredAdapter.empty());
}

bool TSettingsStore::MayWrite(std::size_t Index, const TSettingsWindow& Window) const {
    const TSettingDef& def = SettingDefs[Index];
    return known_.test(Index) || (def.Edge && (Window.*def.Edge)() != edgesAfterLoad_[Index]);
}

void TSettingsStore::Save(const TSettingsWindow& Window) {
    tk::TRegistry reg;
    if (!reg.OpenKey(key_, true)) return;
    for (std::size_t i = 0; i < SettingCount; ++i) {
        if (!MayWrite(i, Window)) continue;
        WriteValue(reg, SettingDefs[i], Collect(SettingDefs[i], values_, Window));
        known_.set(i);
    }
}

void TSettingsStore::SaveValue(TSettingId Id, const TSettingsWindow& Window) {
    const std::size_t i = static_cast<std::size_t>(Id);
    tk::TRegistry reg;
    if (!MayWrite(i, Window) || !reg.OpenKey(key_, true)) return;
    WriteValue(reg, SettingDefs[i], Collect(SettingDefs[i], values_, Window));
    known_.set(i);
}
