// The program's one seam to what lies outside the process: where the program
// file is, the Windows and system directories, message boxes and the start-up
// of Windows Sockets and OLE. Production uses Platform itself; tests derive
// from it to point the folders at scratch space or script the answers.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class Platform {
public:
    virtual ~Platform() = default;

    // Full path of the running program file (GetModuleFileNameA).
    virtual std::string ModulePath();
    // GetWindowsDirectoryA / GetSystemDirectoryA.
    virtual std::string WindowsDirectory();
    virtual std::string SystemDirectory();

    // A modal message box; returns the button pressed (IDOK, IDYES...).
    virtual int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT type);

    // WSAStartup asking for and accepting only version 1.1.
    virtual bool StartSockets();
    virtual void StopSockets();
    // OleInitialize.
    virtual bool StartOle();
    virtual void StopOle();
};

// The program folder: the module path up to its last backslash, or "" when it has none.
std::string FolderOf(const std::string& path);
// The file name without folder and extension ("C:\\x\\Kelvane.exe" -> "Kelvane").
std::string BaseNameOf(const std::string& path);

}  // namespace fw
