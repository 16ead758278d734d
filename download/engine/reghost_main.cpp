// kvreghost.exe: registers modules for the code-download engine, one request
// at a time over the pipe named on its command line, until the pipe closes.
// Request: 32-bit byte count, then the module's full path in UTF-16.
// Answer: the 32-bit result of its DllRegisterServer.
// A module that crashes ends this process (and only it); the engine notices.
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string>

#include "framework/raii.h"

namespace {

LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* exception) {
    // No debugger, no dialog: the exit code tells the engine what happened.
    ::TerminateProcess(::GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

bool ReadAll(HANDLE pipe, void* buffer, DWORD size) {
    auto* bytes = static_cast<BYTE*>(buffer);
    while (size > 0) {
        DWORD read = 0;
        if (!::ReadFile(pipe, bytes, size, &read, nullptr) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

HRESULT Register(const std::wstring& path) {
    fw::unique_hmodule module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(::GetProcAddress(module.get(), "DllRegisterServer")));
    if (!entry) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return entry();
}

// The pipe name: the last argument, in quotes or not.
std::wstring PipeName() {
    std::wstring line = ::GetCommandLineW();
    while (!line.empty() && line.back() == L' ') line.pop_back();
    if (!line.empty() && line.back() == L'"') {
        line.pop_back();
        return line.substr(line.rfind(L'"') + 1);
    }
    return line.substr(line.rfind(L' ') + 1);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter(EndOnCrash);
    // Modules come from the folder they were placed in, never from ours.
    ::SetDllDirectoryW(L"");
    std::wstring name = PipeName();
    if (name.rfind(L"\\\\.\\pipe\\", 0) != 0) return 2;
    fw::unique_file pipe(::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!pipe) return 3;
    bool ole = SUCCEEDED(::OleInitialize(nullptr));
    for (;;) {
        std::uint32_t length = 0;
        if (!ReadAll(pipe.get(), &length, sizeof(length)) || length == 0 || length > 65536 || length % 2) break;
        std::wstring path(length / 2, L'\0');
        if (!ReadAll(pipe.get(), path.data(), length)) break;
        LONG result = Register(path);
        DWORD written = 0;
        if (!::WriteFile(pipe.get(), &result, sizeof(result), &written, nullptr)) break;
    }
    if (ole) ::OleUninitialize();
    return 0;
}
