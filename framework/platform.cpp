#include "framework/platform.h"

#include <winsock.h>

namespace fw {

std::string Platform::ModulePath() {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

std::string Platform::WindowsDirectory() {
    char path[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryA(path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

std::string Platform::SystemDirectory() {
    char path[MAX_PATH] = {};
    UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
    return std::string(path, n < MAX_PATH ? n : 0);
}

int Platform::ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    return ::MessageBoxA(owner, text.c_str(), caption.c_str(), type);
}

bool Platform::StartSockets() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        ::WSACleanup();
        return false;
    }
    return true;
}

void Platform::StopSockets() { ::WSACleanup(); }

bool Platform::StartOle() { return SUCCEEDED(::OleInitialize(nullptr)); }

void Platform::StopOle() { ::OleUninitialize(); }

std::string FolderOf(const std::string& path) {
    // Step by characters of the ANSI code page: the second byte of a
    // double-byte character may look like a backslash.
    const char* last = nullptr;
    for (const char* p = path.c_str(); *p; p = ::CharNextA(p)) {
        if (*p == '\\') last = p;
    }
    return last ? path.substr(0, static_cast<size_t>(last - path.c_str())) : std::string();
}

std::string BaseNameOf(const std::string& path) {
    auto slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace fw
