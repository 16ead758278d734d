// The steps of the Install command that other parts of the installer supply:
// closing browser windows, the cleanup pass and the chart registration. The
// dialog calls them through this seam so that tests can stand in for them.
#pragma once

namespace kelvane {

class InstallerDialog;

class InstallSteps {
public:
    virtual ~InstallSteps() = default;

    // EnumWindows with CloseBrowserWindowProc and the dialog; false when the
    // user refused to close a browser window.
    virtual bool CloseBrowserWindows(InstallerDialog& dialog);
    // The pre-install cleanup; leaves CancelRequested set when the user cancelled it.
    virtual void RunCleanupPass(InstallerDialog& dialog);
    // Copies the chart control and its registration tool and registers the control.
    virtual void RegisterChartServer(InstallerDialog& dialog);
};

}  // namespace kelvane
