// The application object: starts Windows Sockets and OLE, runs the installer
// dialog and turns its end into the process's exit code.
#pragma once

#include <string>

#include "app/install_steps.h"
#include "download/download_service.h"
#include "framework/application.h"

namespace kelvane {

// Exit codes deployment tools already know from other installers.
constexpr int ExitSuccess = 0;         // the run went through every row
constexpr int ExitUserCancelled = 1602;  // cancelled, closed, or nothing installed
constexpr int ExitFatalError = 1603;   // the platform could not be prepared

class InstallerApp : public fw::Application {
public:
    InstallerApp(fw::Platform& platform, DownloadService& service, InstallSteps& steps, std::string argument);

protected:
    BOOL InitInstance() override;

private:
    DownloadService& service_;
    InstallSteps& steps_;
    std::string argument_;
};

}  // namespace kelvane
