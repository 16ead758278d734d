// kvenginebench.exe: the measuring half of scripts/bench.
//
//   kvenginebench install <list> [--system-registrar]
//     Installs every component of <list> (lines "{clsid}|cabinet path") with
//     the built-in engine, one after the other, as fast as the engine goes, and
//     prints the time per component.
//   kvenginebench run <program> [arguments]
//     Runs the program in its own folder until it ends and prints its wall
//     time, exit code and peak working set.
//   kvenginebench window
//     Shows a bare window with a progress bar for a second, with OLE and the
//     common controls started: run by "run", it shows what any windowed
//     program's working set is on this system.
//   kvenginebench sleep
//     Prints how long one Sleep(50), the sequencer's step, takes here.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "download/engine/code_download_engine.h"
#include "framework/com.h"
#include "framework/platform.h"
#include "framework/raii.h"
#include "framework/strings.h"

namespace {

class StopWatcher : public fw::ComObject<StopWatcher, IBindStatusCallback> {
public:
    static std::span<const fw::InterfaceEntry<StopWatcher>> InterfaceMap() {
        static const fw::InterfaceEntry<StopWatcher> map[] = {
            fw::Interface<StopWatcher, IBindStatusCallback>(IID_IBindStatusCallback)};
        return map;
    }
    bool stopped = false;
    HRESULT result = E_FAIL;
    bool object = false;

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT hr, LPCWSTR) override {
        stopped = true;
        result = hr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown* value) override {
        object = value != nullptr;
        return S_OK;
    }
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Install(const wchar_t* listPath, bool systemRegistrar) {
    std::ifstream list(listPath);
    if (!list) {
        std::fprintf(stderr, "cannot read the list\n");
        return 2;
    }
    std::vector<std::pair<CLSID, std::wstring>> components;
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t bar = line.find('|');
        if (bar == std::string::npos) continue;
        CLSID clsid{};
        if (FAILED(::CLSIDFromString(fw::Widen(line.substr(0, bar), CP_UTF8).c_str(), &clsid))) continue;
        components.emplace_back(clsid, fw::Widen(line.substr(bar + 1), CP_UTF8));
    }
    if (FAILED(::OleInitialize(nullptr))) return 2;
    int succeeded = 0;
    LARGE_INTEGER start, end;
    double onThread = 0;  // spent in the engine's steps, not waiting for the registration child
    {
        fw::Platform platform;
        kelvane::EngineOptions options;
        options.useSystemRegistrar = systemRegistrar;
        kelvane::CodeDownloadEngine engine(platform, options);
        ::QueryPerformanceCounter(&start);
        for (const auto& [clsid, cab] : components) {
            auto watcher = fw::MakeComObject<StopWatcher>();
            fw::com_ptr<IBindCtx> context;
            engine.CreateBindContext(context.put());
            engine.RegisterCallback(context.get(), watcher.get());
            fw::com_ptr<IUnknown> object;
            HRESULT hr = engine.GetClassObjectFromURL(clsid, cab.c_str(), 0xFFFFFFFF, 0xFFFFFFFF, nullptr,
                                                      context.get(), CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                                      IID_IClassFactory, object.put_void());
            if (hr == MK_S_ASYNCHRONOUS) {
                LARGE_INTEGER after;
                while (!watcher->stopped) {
                    MSG message;
                    if (::GetMessageW(&message, nullptr, 0, 0) <= 0) break;
                    LARGE_INTEGER step;
                    ::QueryPerformanceCounter(&step);
                    ::DispatchMessageW(&message);
                    ::QueryPerformanceCounter(&after);
                    onThread += Seconds(step, after);
                }
                if (SUCCEEDED(watcher->result) && watcher->object) ++succeeded;
            } else if (hr == S_OK) {
                ++succeeded;
            }
        }
        ::QueryPerformanceCounter(&end);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    double total = Seconds(start, end);
    double n = components.empty() ? 1.0 : static_cast<double>(components.size());
    std::printf("components=%zu\nsucceeded=%d\nseconds=%.3f\nms_per_component=%.2f\n"
                "ms_on_thread_per_component=%.2f\npeak_working_set_kb=%zu\n",
                components.size(), succeeded, total, 1000.0 * total / n, 1000.0 * onThread / n,
                static_cast<size_t>(memory.PeakWorkingSetSize / 1024));
    ::OleUninitialize();
    return succeeded == static_cast<int>(components.size()) ? 0 : 1;
}

int Run(int count, wchar_t** arguments) {
    std::wstring program = arguments[0];
    std::wstring commandLine = L"\"" + program + L"\"";
    for (int i = 1; i < count; ++i) commandLine += std::wstring(L" ") + arguments[i];
    std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                          &startup, &process)) {
        std::fprintf(stderr, "cannot start the program (%lu)\n", ::GetLastError());
        return 2;
    }
    fw::unique_handle child(process.hProcess);
    fw::unique_handle thread(process.hThread);
    // Sampled while it runs as well: some systems forget a process's figures once it has ended.
    SIZE_T peak = 0;
    auto sample = [&] {
        PROCESS_MEMORY_COUNTERS memory{};
        memory.cb = sizeof(memory);
        if (::GetProcessMemoryInfo(child.get(), &memory, sizeof(memory)) && memory.PeakWorkingSetSize > peak)
            peak = memory.PeakWorkingSetSize;
    };
    while (::WaitForSingleObject(child.get(), 200) == WAIT_TIMEOUT) sample();
    ::QueryPerformanceCounter(&end);
    sample();
    DWORD code = 0;
    ::GetExitCodeProcess(child.get(), &code);
    std::printf("seconds=%.3f\nexit_code=%lu\npeak_working_set_kb=%zu\n", Seconds(start, end), code,
                static_cast<size_t>(peak / 1024));
    return 0;
}

LRESULT CALLBACK BareWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

int ShowBareWindow() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = BareWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KelvaneBenchBareWindow";
    ::RegisterClassW(&windowClass);
    fw::unique_window window(::CreateWindowW(windowClass.lpszClassName, L"bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                             0, 0, 400, 200, nullptr, nullptr, windowClass.hInstance, nullptr));
    if (!window) return 2;
    ::CreateWindowW(PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 348, 20, window.get(), nullptr,
                    windowClass.hInstance, nullptr);
    ::SetTimer(window.get(), 1, 1000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}

int BareWindow() {
    if (FAILED(::OleInitialize(nullptr))) return 2;
    int result = ShowBareWindow();
    ::OleUninitialize();
    return result;
}

int MeasureSleep() {
    constexpr int kCount = 100;
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < kCount; ++i) ::Sleep(50);
    ::QueryPerformanceCounter(&end);
    std::printf("sleep_50_ms=%.3f\n", 1000.0 * Seconds(start, end) / kCount);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wstring(argv[1]) == L"install")
        return Install(argv[2], argc >= 4 && std::wstring(argv[3]) == L"--system-registrar");
    if (argc >= 3 && std::wstring(argv[1]) == L"run") return Run(argc - 2, argv + 2);
    if (argc >= 2 && std::wstring(argv[1]) == L"window") return BareWindow();
    if (argc >= 2 && std::wstring(argv[1]) == L"sleep") return MeasureSleep();
    std::fprintf(stderr,
                 "kvenginebench install <list> [--system-registrar] | run <program> [arguments] | window | sleep\n");
    return 2;
}
