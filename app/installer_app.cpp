#include "app/installer_app.h"

#include <memory>

#include "app/installer_dialog.h"
#include "framework/strings.h"
#include "resources/resource.h"

namespace kelvane {

InstallerApp::InstallerApp(fw::Platform& platform, DownloadService& service, InstallSteps& steps,
                           std::string argument)
    : Application(platform), service_(service), steps_(steps), argument_(std::move(argument)) {}

BOOL InstallerApp::InitInstance() {
    SetExitCode(ExitFatalError);
    if (!SocketInit()) {
        MessageBox(fw::LoadText(IDS_SOCKETS_INIT_FAILED), MB_OK);
        return FALSE;
    }
    if (!OleInit()) {
        MessageBox(fw::LoadText(IDS_OLE_INIT_FAILED), MB_OK);
        return FALSE;
    }
    EnableControlContainer();

    // The dialog is large (98 catalog rows); it lives on the heap for the run.
    auto dialog = std::make_unique<InstallerDialog>(platform(), service_, steps_, argument_);
    INT_PTR result = dialog->DoModal();
    if (result == IDOK) {
        SetExitCode(ExitSuccess);
    } else if (result != -1) {
        SetExitCode(ExitUserCancelled);
    }
    return FALSE;
}

}  // namespace kelvane
