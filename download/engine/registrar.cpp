#include "download/engine/registrar.h"

#include <olectl.h>

#include <cstdint>
#include <vector>

#include "download/engine/engine_util.h"

namespace kelvane::engine {

namespace {
const HRESULT kTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

fw::unique_handle ManualEvent() { return fw::unique_handle(::CreateEventW(nullptr, TRUE, FALSE, nullptr)); }
}  // namespace

Registrar::Registrar(Settings settings) : settings_(std::move(settings)) {
    useHost_ = !settings_.hostPath.empty() && IsFile(settings_.hostPath);
}

Registrar::~Registrar() {
    Cancel();
    StopHost(false);
}

void Registrar::Warm() {
    if (useHost_ && !host_) StartHost();
}

HRESULT Registrar::StartHost() {
    static LONG counter = 0;
    std::wstring name = L"\\\\.\\pipe\\kelvane-registration-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(::InterlockedIncrement(&counter)) + L"-" +
                        std::to_wstring(::GetTickCount());
    // FIRST_PIPE_INSTANCE: no one else can have made this pipe ahead of us.
    pipe_.reset(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   4096, 4096, 0, nullptr));
    if (!pipe_) return HRESULT_FROM_WIN32(::GetLastError());
    connectEvent_ = ManualEvent();
    readEvent_ = ManualEvent();
    writeEvent_ = ManualEvent();
    if (!connectEvent_ || !readEvent_ || !writeEvent_) {
        StopHost(true);
        return HRESULT_FROM_WIN32(::GetLastError());
    }
    connect_ = {};
    connect_.hEvent = connectEvent_.get();
    connected_ = false;
    connectPending_ = false;
    if (::ConnectNamedPipe(pipe_.get(), &connect_)) {
        connected_ = true;
    } else {
        DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED) {
            connected_ = true;
        } else if (error == ERROR_IO_PENDING) {
            connectPending_ = true;
        } else {
            StopHost(true);
            return HRESULT_FROM_WIN32(error);
        }
    }

    std::wstring commandLine = Quoted(settings_.hostPath) + L" " + Quoted(name);
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(settings_.hostPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, system, &startup, &process)) {
        DWORD error = ::GetLastError();
        StopHost(true);
        return HRESULT_FROM_WIN32(error);
    }
    fw::unique_handle thread(process.hThread);  // not needed: the process handle tells its end
    host_.reset(process.hProcess);
    return S_OK;
}

void Registrar::StopHost(bool kill) {
    if (pipe_ && (connectPending_ || readPending_)) {
        ::CancelIoEx(pipe_.get(), nullptr);
        DWORD ignored = 0;
        if (connectPending_) ::GetOverlappedResult(pipe_.get(), &connect_, &ignored, TRUE);
        if (readPending_) ::GetOverlappedResult(pipe_.get(), &read_, &ignored, TRUE);
    }
    connectPending_ = readPending_ = connected_ = false;
    // Without its pipe the host ends by itself once it is idle.
    pipe_.reset();
    if (host_) {
        if (kill || ::WaitForSingleObject(host_.get(), 2000) != WAIT_OBJECT_0) ::TerminateProcess(host_.get(), 1);
        ::WaitForSingleObject(host_.get(), 5000);
        host_.reset();
    }
    connectEvent_.reset();
    readEvent_.reset();
    writeEvent_.reset();
}

HRESULT Registrar::Begin(const std::wstring& module, HWND window, UINT message) {
    if (stage_ != Stage::Idle) return E_UNEXPECTED;
    module_ = module;
    window_ = window;
    message_ = message;
    deadline_ = ::GetTickCount64() + settings_.timeoutMs;
    if (!useHost_) return StartTool();

    // A host that died while idle is noticed here and replaced.
    if (host_ && ::WaitForSingleObject(host_.get(), 0) == WAIT_OBJECT_0) StopHost(true);
    if (!host_) {
        HRESULT hr = StartHost();
        if (FAILED(hr)) {
            // The host cannot run here: the system's tool is the way left.
            useHost_ = false;
            return StartTool();
        }
    }
    if (!connected_) {
        stage_ = Stage::AwaitConnect;
        return Arm(connectEvent_.get());
    }
    HRESULT hr = SendRequest();
    if (FAILED(hr)) {
        Finish();
        StopHost(true);
        return hr;
    }
    stage_ = Stage::AwaitReply;
    return Arm(readEvent_.get());
}

HRESULT Registrar::SendRequest() {
    std::vector<BYTE> message(sizeof(std::uint32_t) + module_.size() * sizeof(wchar_t));
    std::uint32_t length = static_cast<std::uint32_t>(module_.size() * sizeof(wchar_t));
    memcpy(message.data(), &length, sizeof(length));
    memcpy(message.data() + sizeof(length), module_.data(), length);
    OVERLAPPED write{};
    write.hEvent = writeEvent_.get();
    DWORD done = 0;
    if (!::WriteFile(pipe_.get(), message.data(), static_cast<DWORD>(message.size()), nullptr, &write) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return HRESULT_FROM_WIN32(::GetLastError());
    // The idle host is reading; this completes as soon as it has the request.
    if (!::GetOverlappedResult(pipe_.get(), &write, &done, TRUE) || done != message.size())
        return HRESULT_FROM_WIN32(ERROR_BROKEN_PIPE);
    read_ = {};
    read_.hEvent = readEvent_.get();
    reply_ = 0;
    if (!::ReadFile(pipe_.get(), &reply_, sizeof(reply_), nullptr, &read_) && ::GetLastError() != ERROR_IO_PENDING)
        return HRESULT_FROM_WIN32(::GetLastError());
    readPending_ = true;
    return S_OK;
}

HRESULT Registrar::StartTool() {
    std::wstring commandLine = Quoted(settings_.regsvr32Path) + L" /s " + Quoted(module_);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(settings_.regsvr32Path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
        return HRESULT_FROM_WIN32(::GetLastError());
    fw::unique_handle thread(process.hThread);
    tool_.reset(process.hProcess);
    stage_ = Stage::AwaitTool;
    return Arm(tool_.get());
}

void Registrar::EndTool() {
    if (!tool_) return;
    ::TerminateProcess(tool_.get(), 1);
    ::WaitForSingleObject(tool_.get(), 5000);
    tool_.reset();
}

DWORD Registrar::Remaining() const {
    ULONGLONG now = ::GetTickCount64();
    return now >= deadline_ ? 0 : static_cast<DWORD>(deadline_ - now);
}

void CALLBACK Registrar::Signalled(void* context, BOOLEAN timedOut) {
    // A pool thread: it only tells the engine's window, which does the work.
    auto* target = static_cast<WaitTarget*>(context);
    ::PostMessageW(target->window, target->message, target->serial, timedOut ? 1 : 0);
}

HRESULT Registrar::Arm(HANDLE primary) {
    Disarm();
    target_ = std::make_unique<WaitTarget>(WaitTarget{window_, message_, ++serial_});
    DWORD remaining = Remaining();
    if (!::RegisterWaitForSingleObject(wait_.put(), primary, Signalled, target_.get(), remaining, WT_EXECUTEONLYONCE)) {
        HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        Cancel();
        return hr;
    }
    // The host's end, crash or not, is news too: a pipe never connected would not tell.
    if (stage_ != Stage::AwaitTool && host_) {
        ::RegisterWaitForSingleObject(processWait_.put(), host_.get(), Signalled, target_.get(), remaining,
                                      WT_EXECUTEONLYONCE);
    }
    return S_OK;
}

void Registrar::Disarm() {
    // Unregistering waits for a callback under way, so the target can go after.
    wait_.reset();
    processWait_.reset();
    target_.reset();
}

HRESULT Registrar::ChildFailure(HANDLE process) {
    ::WaitForSingleObject(process, 2000);
    DWORD code = 0;
    ::GetExitCodeProcess(process, &code);
    // An exception code (0xC0000005 for an access violation) says how it died.
    return (code & 0x80000000) ? HRESULT_FROM_NT(code) : CO_E_SERVER_EXEC_FAILURE;
}

void Registrar::Finish() {
    Disarm();
    stage_ = Stage::Idle;
}

bool Registrar::OnSignal(WPARAM wParam, LPARAM lParam, HRESULT& result) {
    if (stage_ == Stage::Idle || wParam != serial_) return false;
    bool timedOut = lParam != 0 || Remaining() == 0;
    Disarm();
    switch (stage_) {
        case Stage::AwaitTool: {
            DWORD code = STILL_ACTIVE;
            ::GetExitCodeProcess(tool_.get(), &code);
            if (code == STILL_ACTIVE) {
                if (!timedOut) {
                    Arm(tool_.get());
                    return false;
                }
                EndTool();
                result = kTimedOut;
            } else if (code == 0) {
                result = S_OK;
            } else if (code == 4) {
                result = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);  // regsvr32: no DllRegisterServer
            } else {
                result = (code & 0x80000000) ? HRESULT_FROM_NT(code) : SELFREG_E_CLASS;
            }
            tool_.reset();
            Finish();
            return true;
        }
        case Stage::AwaitConnect: {
            DWORD ignored = 0;
            if (::GetOverlappedResult(pipe_.get(), &connect_, &ignored, FALSE) ||
                ::GetLastError() == ERROR_PIPE_CONNECTED) {
                connectPending_ = false;
                connected_ = true;
                HRESULT hr = SendRequest();
                if (FAILED(hr)) {
                    result = ChildFailure(host_.get());
                    StopHost(true);
                    Finish();
                    return true;
                }
                stage_ = Stage::AwaitReply;
                if (FAILED(hr = Arm(readEvent_.get()))) {
                    result = hr;
                    return true;
                }
                return false;
            }
            bool died = ::WaitForSingleObject(host_.get(), 0) == WAIT_OBJECT_0;
            if (!died && !timedOut) {
                Arm(connectEvent_.get());
                return false;
            }
            result = died ? ChildFailure(host_.get()) : kTimedOut;
            StopHost(true);
            Finish();
            return true;
        }
        case Stage::AwaitReply: {
            DWORD read = 0;
            if (::GetOverlappedResult(pipe_.get(), &read_, &read, FALSE)) {
                readPending_ = false;
                if (read == sizeof(reply_)) {
                    result = static_cast<HRESULT>(reply_);
                    Finish();
                    return true;
                }
            } else if (::GetLastError() == ERROR_IO_INCOMPLETE) {
                bool died = ::WaitForSingleObject(host_.get(), 0) == WAIT_OBJECT_0;
                if (!died && !timedOut) {
                    Arm(readEvent_.get());
                    return false;
                }
                if (!died) {
                    result = kTimedOut;
                    StopHost(true);
                    Finish();
                    return true;
                }
            } else {
                readPending_ = false;
            }
            // The pipe broke: the host is gone, most likely inside the module.
            result = ChildFailure(host_.get());
            StopHost(true);
            Finish();
            return true;
        }
        case Stage::Idle:
            break;
    }
    return false;
}

void Registrar::Cancel() {
    if (stage_ == Stage::Idle) return;
    Disarm();
    if (stage_ == Stage::AwaitTool) {
        EndTool();
    } else {
        StopHost(true);
    }
    stage_ = Stage::Idle;
}

}  // namespace kelvane::engine
