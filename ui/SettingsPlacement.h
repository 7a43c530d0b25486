// Where the settings put the main window: the position and state a load
// gives it, and the normal position it writes back before a save.
#pragma once

#include "toolkit/Forms.h"
#include "ui/Settings.h"

class TSettingsPlacement {
public:
    TSettingsPlacement(TSettingsStore& Store, tk::TForm& Form) noexcept : store_(Store), form_(Form) {}
    TSettingsPlacement(const TSettingsPlacement&) = delete;
    TSettingsPlacement& operator=(const TSettingsPlacement&) = delete;

    // The store's Load: the window takes the edges as far as the load got,
    // and, after a load that read every value, its state (normal when no
    // adapter is remembered, minimised when one is).
    void Load();
    // The window's normal position into the store: an edge the load read, or
    // one the user has moved since (an unread one stays as stored until then).
    void Note();
    // Note, then the store's Save.
    void Save();

private:
    TSettingsStore& store_;
    tk::TForm& form_;
    // Where the load left the window.
    int loadedLeft_ = 0, loadedTop_ = 0;
};
