// The application object: prepares the platform, runs the program's work in
// InitInstance and gives the process its exit code.
#pragma once

#include <windows.h>

#include <string>

#include "framework/platform.h"

namespace fw {

class Application {
public:
    explicit Application(Platform& platform) : platform_(platform) {}
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    virtual ~Application();

    // Runs InitInstance; there is no message loop afterwards. Returns the exit code.
    int Run();

    Platform& platform() { return platform_; }
    // The program file's name without its extension; the caption of every message box.
    std::string Name() { return BaseNameOf(platform_.ModulePath()); }
    // A message box owned by the main window, if there is one.
    int MessageBox(const std::string& text, UINT type = MB_OK);

protected:
    // Returns FALSE when no message loop should follow, which is always the case here.
    virtual BOOL InitInstance() = 0;

    bool SocketInit();
    bool OleInit();
    // Registers the common control classes the templates use. Control hosting and
    // the three-dimensional look need nothing more on the systems we run on.
    void EnableControlContainer();

    void SetMainWindow(HWND window) { mainWindow_ = window; }
    void SetExitCode(int code) { exitCode_ = code; }

private:
    Platform& platform_;
    HWND mainWindow_ = nullptr;
    int exitCode_ = 0;
    bool socketsStarted_ = false;
    bool oleStarted_ = false;
};

}  // namespace fw
