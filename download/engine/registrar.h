// Calling a module's DllRegisterServer outside this process, within a time
// bound, so that a module that crashes or hangs takes only a child with it.
//
// The child is our registration host (kvreghost.exe), started once and kept
// for the next modules: starting a process costs far more than registering a
// small module. Where the host is missing, the system's regsvr32.exe runs once
// per module instead. Either child is ended when the bound passes; a host that
// died is started afresh for the next module.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "framework/raii.h"

namespace kelvane::engine {

class Registrar {
public:
    struct Settings {
        std::wstring hostPath;      // "" or missing file: regsvr32.exe
        std::wstring regsvr32Path;  // the system's tool
        DWORD timeoutMs = 15000;    // per module, the host's start-up included
    };

    explicit Registrar(Settings settings);
    Registrar(const Registrar&) = delete;
    Registrar& operator=(const Registrar&) = delete;
    ~Registrar();

    // Starts the host ahead of need, so that it is ready when the first module is.
    void Warm();

    // Starts registering `module`. `message` is posted to `window` (wParam and
    // lParam to be handed to OnSignal) when there is news; a failure to start
    // is returned at once.
    HRESULT Begin(const std::wstring& module, HWND window, UINT message);

    // For the posted message. True when the registration is over, with its
    // result (the module's own, or a timeout, or the child's crash); false when
    // it goes on (or the message was stale).
    bool OnSignal(WPARAM wParam, LPARAM lParam, HRESULT& result);

    // Stops a registration under way; the child is ended.
    void Cancel();

    bool Busy() const { return stage_ != Stage::Idle; }
    bool UsesHost() const { return useHost_; }

private:
    enum class Stage { Idle, AwaitConnect, AwaitReply, AwaitTool };
    struct WaitTraits {
        using type = HANDLE;
        static type invalid() { return nullptr; }
        static void close(type h) { ::UnregisterWaitEx(h, INVALID_HANDLE_VALUE); }
    };
    struct WaitTarget {
        HWND window;
        UINT message;
        WPARAM serial;
    };

    HRESULT StartHost();
    void StopHost(bool kill);
    HRESULT SendRequest();
    HRESULT StartTool();
    void EndTool();  // ends regsvr32 at once
    HRESULT Arm(HANDLE primary);
    void Disarm();
    DWORD Remaining() const;
    HRESULT ChildFailure(HANDLE process);
    void Finish();

    static void CALLBACK Signalled(void* context, BOOLEAN timedOut);

    Settings settings_;
    bool useHost_ = false;
    Stage stage_ = Stage::Idle;
    std::wstring module_;
    ULONGLONG deadline_ = 0;
    HWND window_ = nullptr;
    UINT message_ = 0;
    WPARAM serial_ = 0;

    // the host
    fw::unique_handle host_;
    fw::unique_file pipe_;
    fw::unique_handle connectEvent_, readEvent_, writeEvent_;
    OVERLAPPED connect_{}, read_{};
    bool connectPending_ = false, readPending_ = false, connected_ = false;
    LONG reply_ = 0;

    // regsvr32 for one module
    fw::unique_handle tool_;

    std::unique_ptr<WaitTarget> target_;
    fw::unique_resource<WaitTraits> wait_, processWait_;
};

}  // namespace kelvane::engine
