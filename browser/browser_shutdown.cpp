#include "browser/browser_shutdown.h"

#include "app/install_steps.h"

namespace kelvane {

// Browser windows are not looked at yet: every window is let be.
BOOL CALLBACK CloseBrowserWindowProc(HWND, LPARAM) { return TRUE; }

bool InstallSteps::CloseBrowserWindows(InstallerDialog& dialog) {
    return ::EnumWindows(&CloseBrowserWindowProc, reinterpret_cast<LPARAM>(&dialog)) != FALSE;
}

}  // namespace kelvane
