// Closing the browser frame windows that hold modules the run replaces.
#pragma once

#include <windows.h>

namespace kelvane {

// EnumWindows callback; the context is the InstallerDialog. Returns FALSE to
// stop the enumeration when the user refuses to close the browser.
BOOL CALLBACK CloseBrowserWindowProc(HWND window, LPARAM dialog);

}  // namespace kelvane
