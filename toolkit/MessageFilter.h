// Letting one message through to one window past the platform's message
// filtering: a program running as administrator otherwise never receives what
// programs of lower rights post or broadcast to it (Explorer's
// "TaskbarCreated", a second start of the program).
#pragma once

#include <windows.h>

namespace tk {

using TChangeWindowMessageFilterEx = BOOL(WINAPI*)(HWND Window, UINT Message, DWORD Action,
                                                  PCHANGEFILTERSTRUCT Info);
// By default, user32's ChangeWindowMessageFilterEx looked up at each call,
// answering FALSE where it does not exist; tests replace it to record calls.
extern TChangeWindowMessageFilterEx ChangeWindowMessageFilterExProc;

// MSGFLT_ALLOW for `message` on `window`; false where the platform has no such
// filter (nothing is filtered there) or refused.
bool AllowMessageThrough(HWND window, UINT message) noexcept;

} // namespace tk
