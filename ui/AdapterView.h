// The adapter list as the main window's list view shows it: its columns, the
// medium icons, and the driver's rows with the remembered adapter selected.
#pragma once

#include "toolkit/ComCtrls.h"
#include "toolkit/ImgList.h"

#include <string>

// The five columns of `View`, and the medium icons from the program's
// resources into `MediumIcons`, which `View` shows its rows with.
void SetUpAdapterView(tk::TListView& View, tk::TImageList& MediumIcons);

// Empties `View` and fills it with the driver's rows (ReadAdapterRows),
// selecting the one whose internal name is `Selected`. False, with the list
// left empty, when the driver is not loaded.
bool FillAdapterView(tk::TListView& View, const std::string& Selected);
