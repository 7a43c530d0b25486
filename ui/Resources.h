// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDI_MAINICON 1
// The tray's icons besides the application's, greyed and marked by shape:
// nothing filtered (a diagonal bar), waiting for the adapter (a clock), and
// stopped by an error (a "!").
#define IDI_IDLEICON 2
#define IDI_WAITICON 3
#define IDI_ERRORICON 4
// The 14 medium icons of the adapter list, in the order of the medium table.
#define IDI_MEDIUM_FIRST 101
#define MEDIUM_ICON_COUNT 14
