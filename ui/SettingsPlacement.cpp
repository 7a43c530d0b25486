#include "ui/SettingsPlacement.h"

#include "toolkit/Handles.h"

void TSettingsPlacement::Load() {
    bool loaded = false;
    {
        // The edges as far as the load got, also when a later value stops it;
        // the state only after a load that read every value.
        tk::ScopeGuard place([this] {
            if (store_.IsKnown(TSettingId::WindowLeft)) form_.SetLeft(store_.Values().WindowLeft);
            if (store_.IsKnown(TSettingId::WindowTop)) form_.SetTop(store_.Values().WindowTop);
            loadedLeft_ = form_.Left();
            loadedTop_ = form_.Top();
        });
        loaded = store_.Load();
    }
    if (!loaded) return;
    form_.SetWindowState(store_.Values().FilteredAdapter.empty() ? tk::TWindowState::wsNormal
                                                                 : tk::TWindowState::wsMinimized);
}

void TSettingsPlacement::Note() {
    if (store_.IsKnown(TSettingId::WindowLeft) || form_.Left() != loadedLeft_)
        store_.Set(&TSettings::WindowLeft, form_.Left());
    if (store_.IsKnown(TSettingId::WindowTop) || form_.Top() != loadedTop_)
        store_.Set(&TSettings::WindowTop, form_.Top());
}

void TSettingsPlacement::Save() {
    Note();
    store_.Save();
}
