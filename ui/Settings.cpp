#include "ui/Settings.h"

#include "toolkit/Registry.h"

const char* const SettingsKey = "\\Software\\Corvantis\\Brackwater";

namespace {
// What a phone forwards a PC's packets with once it has counted the hop.
constexpr int kDefaultSentTtl = 65;
} // namespace

const TSettingDef SettingDefs[SettingCount] = {
    {"WindowLeft", TSettingKind::Integer, 100, &TSettings::WindowLeft},
    {"WindowTop", TSettingKind::Integer, 100, &TSettings::WindowTop},
    {"BadTTL", TSettingKind::Integer, 1, &TSettings::BadTTL},
    {"NewTTL", TSettingKind::Integer, 5, &TSettings::NewTTL},
    {"Trace", TSettingKind::Boolean, 0, {}, &TSettings::Trace},
    {"TraceLogLen", TSettingKind::Integer, 100, &TSettings::TraceLogLen},
    {"FilteredAdapter", TSettingKind::String, 0, {}, {}, &TSettings::FilteredAdapter},
    {"ExitConfirmation", TSettingKind::Boolean, 1, {}, &TSettings::ExitConfirmation},
    {"RewriteIPv6", TSettingKind::Integer, 0, &TSettings::RewriteIPv6},
    {"RewriteSent", TSettingKind::Boolean, 0, {}, &TSettings::RewriteSent},
    {"SentTTL", TSettingKind::Integer, kDefaultSentTtl, &TSettings::SentTTL},
    {"Notifications", TSettingKind::Boolean, 1, {}, &TSettings::Notifications},
};

std::uint8_t SentTtlOf(const TSettings& Settings) noexcept {
    const int ttl = Settings.SentTTL;
    return static_cast<std::uint8_t>(ttl >= 1 && ttl <= 255 ? ttl : kDefaultSentTtl);
}

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

void Apply(const TSettingDef& def, const TSettingValue& value, TSettings& settings) {
    if (def.Integer) settings.*def.Integer = value.Number;
    if (def.Boolean) settings.*def.Boolean = value.Number != 0;
    if (def.String) settings.*def.String = value.Text;
}

TSettingValue Collect(const TSettingDef& def, const TSettings& settings) {
    TSettingValue value;
    if (def.Integer) value.Number = settings.*def.Integer;
    if (def.Boolean) value.Number = settings.*def.Boolean;
    if (def.String) value.Text = settings.*def.String;
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

bool TSettingsStore::Load() {
    known_.reset();
    tk::TRegistry reg;
    if (!reg.OpenKey(key_, true)) return false;
    for (std::size_t i = 0; i < SettingCount; ++i) {
        Apply(SettingDefs[i], ReadValue(reg, SettingDefs[i]), values_);
        known_.set(i);
    }
    return true;
}

void TSettingsStore::Save() {
    tk::TRegistry reg;
    if (!reg.OpenKey(key_, true)) return;
    for (std::size_t i = 0; i < SettingCount; ++i)
        if (known_.test(i)) WriteValue(reg, SettingDefs[i], Collect(SettingDefs[i], values_));
}

void TSettingsStore::SaveValue(TSettingId Id) {
    const std::size_t i = static_cast<std::size_t>(Id);
    tk::TRegistry reg;
    if (!known_.test(i) || !reg.OpenKey(key_, true)) return;
    WriteValue(reg, SettingDefs[i], Collect(SettingDefs[i], values_));
}
