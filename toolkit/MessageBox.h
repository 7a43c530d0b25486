// Message boxes centred on the screen.
#pragma once

#include <windows.h>

#include <string>

namespace tk {

// A message box centred on the screen (not on its owner). `owner` may be null.
// A CBT hook of the calling thread moves the box as it is activated.
int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags);

} // namespace tk
