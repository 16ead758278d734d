#include "framework/application.h"

#include <commctrl.h>

#include "framework/strings.h"

namespace fw {

Application::~Application() {
    if (oleStarted_) platform_.StopOle();
    if (socketsStarted_) platform_.StopSockets();
}

int Application::Run() {
    InitInstance();
    return exitCode_;
}

int Application::MessageBox(const std::string& text, UINT type) {
    HWND owner = mainWindow_ && ::IsWindow(mainWindow_) ? mainWindow_ : nullptr;
    return ShowAppMessage(platform_, owner, text, type);
}

bool Application::SocketInit() {
    socketsStarted_ = platform_.StartSockets();
    return socketsStarted_;
}

bool Application::OleInit() {
    oleStarted_ = platform_.StartOle();
    return oleStarted_;
}

void Application::EnableControlContainer() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
}

}  // namespace fw
