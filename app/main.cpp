#include <windows.h>

#include "app/install_steps.h"
#include "app/installer_app.h"
#include "download/service_choice.h"
#include "framework/platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    fw::Platform platform;
    auto service = kelvane::MakeDownloadService(platform);
    kelvane::InstallSteps steps;
    kelvane::InstallerApp app(platform, *service, steps, commandLine ? commandLine : "");
    return app.Run();
}
