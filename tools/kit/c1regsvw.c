// Stand-in for the chart control's registration tool:
//
//     c1regsvw.exe [/u] <control>
//
// registers the control (DllRegisterServer) or, with /u, unregisters it
// (DllUnregisterServer). A relative control name is taken from the working
// folder, never looked up along the DLL search path. No window is shown.
//
// Exit codes: 0 done, 1 bad command line, 2 control not loadable,
// 3 entry point missing, 4 the control reported failure. A control that
// crashes ends the tool with the exception code.

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#define EXIT_DONE 0
#define EXIT_USAGE 1
#define EXIT_NOT_LOADABLE 2
#define EXIT_NO_ENTRY 3
#define EXIT_CONTROL_FAILED 4

typedef HRESULT(STDAPICALLTYPE *ServerEntry)(void);

// The installer runs this tool hidden and waits for it without a time limit:
// a crash must end the process, not wait on an error dialog nobody sees.
static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS *exception)
{
    (void)exception;
    return EXCEPTION_EXECUTE_HANDLER;
}

static int RunEntry(const WCHAR *control, BOOL unregister)
{
    WCHAR path[MAX_PATH * 4];
    DWORD length;
    HMODULE module;
    ServerEntry entry;
    HRESULT result;
    int code;

    length = GetFullPathNameW(control, sizeof(path) / sizeof(path[0]), path, NULL);
    if (length == 0 || length >= sizeof(path) / sizeof(path[0])) return EXIT_NOT_LOADABLE;

    // Dependencies of the control are found beside it.
    module = LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module) return EXIT_NOT_LOADABLE;
    entry = (ServerEntry)(void (*)(void))GetProcAddress(module, unregister ? "DllUnregisterServer" : "DllRegisterServer");
    if (!entry) {
        code = EXIT_NO_ENTRY;
    } else {
        result = entry();
        code = SUCCEEDED(result) ? EXIT_DONE : EXIT_CONTROL_FAILED;
    }
    FreeLibrary(module);
    return code;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    LPWSTR *arguments;
    int count = 0;
    int next = 1;
    BOOL unregister = FALSE;
    HRESULT ole;
    int code;

    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);

    arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments) return EXIT_USAGE;
    if (count > next && (lstrcmpiW(arguments[next], L"/u") == 0 || lstrcmpiW(arguments[next], L"-u") == 0)) {
        unregister = TRUE;
        next++;
    }
    if (count != next + 1 || arguments[next][0] == L'\0') {
        LocalFree(arguments);
        return EXIT_USAGE;
    }

    // Controls may expect COM on the calling thread, as the system's registration tool provides it.
    ole = OleInitialize(NULL);
    code = RunEntry(arguments[next], unregister);
    if (SUCCEEDED(ole)) OleUninitialize();
    LocalFree(arguments);
    return code;
}
