// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_MAINICON 1
// The application's icon greyed: the tray shows it while nothing is filtered.
#define IDI_IDLEICON 2
// The 14 medium icons of the adapter list, in the order of the medium table.
#define IDI_MEDIUM_FIRST 101
#define MEDIUM_ICON_COUNT 14
