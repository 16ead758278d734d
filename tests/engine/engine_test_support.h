// What the engine tests share: a bind-status callback that records what the
// engine reports, a message loop to run an attempt to its end, scratch
// folders for the Windows directory and the unpack folders, and a
// redirected HKEY_LOCAL_MACHINE for the records.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "download/engine/code_download_engine.h"
#include "framework/com.h"
#include "framework/raii.h"
#include "tests/support/test_platform.h"

namespace kelvane::engine_test {

struct Event {
    enum Kind { Start, Progress, Object, Stop } kind;
    ULONG status = 0;        // Progress
    std::wstring text;       // Progress: the status text; Stop: the error text
    HRESULT result = S_OK;   // Stop
};

class RecordingCallback : public fw::ComObject<RecordingCallback, IBindStatusCallback> {
public:
    static std::span<const fw::InterfaceEntry<RecordingCallback>> InterfaceMap();

    std::vector<Event> events;
    fw::com_ptr<IBinding> binding;
    fw::com_ptr<IUnknown> object;
    int stops = 0;
    HRESULT stopResult = S_OK;
    // Called with each report before it is recorded: a test may abort there.
    std::function<void(RecordingCallback&, const Event&)> onEvent;
    // Fills in what GetBindInfo hands over, when set.
    std::function<void(BINDINFO&)> bindInfo;

    std::vector<ULONG> Statuses() const;

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG status, LPCWSTR text) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR text) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO* info) override {
        if (info && bindInfo) bindInfo(*info);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

private:
    void Record(Event event);
};

// A Windows directory, a system directory and an unpack root in a scratch
// folder, a canary file beside them, and the engine set up to use them.
class Scratch {
public:
    Scratch();
    test::ScratchFolder root;
    test::TestPlatform platform;
    std::string windows, system, temp, canary;

    EngineOptions Options() const;
    std::string DownloadedControls() const { return windows + "\\Downloaded Program Files"; }
    // Every file below the scratch root, relative to it (the canary among them).
    std::vector<std::string> Files() const;
    bool TempIsEmpty() const;
};

struct Attempt {
    HRESULT immediate = E_FAIL;
    fw::com_ptr<IUnknown> immediateObject;
    fw::com_ptr<RecordingCallback> callback;
    bool reportedInsideCall = false;
};

// Starts one attempt the way the download job does (bind context, callback
// registered on it, the class-object request) and runs the thread's messages
// until it stops (or a minute has passed, which fails the test).
Attempt Install(CodeDownloadEngine& engine, const std::string& clsid, const std::wstring& cabinet,
                DWORD versionMS = 0xFFFFFFFF, DWORD versionLS = 0xFFFFFFFF,
                std::function<void(RecordingCallback&, const Event&)> onEvent = {});
// Only starts it.
Attempt Start(CodeDownloadEngine& engine, const std::string& clsid, const std::wstring& cabinet,
              DWORD versionMS = 0xFFFFFFFF, DWORD versionLS = 0xFFFFFFFF,
              std::function<void(RecordingCallback&, const Event&)> onEvent = {});
bool RunUntilStopped(RecordingCallback& callback, DWORD timeoutMs = 60000);
// Handles the messages that are there, then returns.
void Pump();

// HKEY_LOCAL_MACHINE of this process points at a scratch key for the object's life.
class RedirectedMachineKey {
public:
    RedirectedMachineKey();
    RedirectedMachineKey(const RedirectedMachineKey&) = delete;
    RedirectedMachineKey& operator=(const RedirectedMachineKey&) = delete;
    ~RedirectedMachineKey();

private:
    std::wstring path_;
    fw::unique_hkey key_;
};

// Removes the class's registration (HKEY_CLASSES_ROOT\CLSID\{...}) when it goes:
// the registration child writes to the real classes root.
class ClassRegistration {
public:
    explicit ClassRegistration(std::string clsid);
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    ~ClassRegistration();
    // The registered server's path, "" when there is none.
    std::string Server() const;

private:
    std::string clsid_;
};

CLSID ClsidOf(const std::string& text);
// A file the build made, given by its build-machine (Unix) path.
std::wstring BuildPath(const std::string& hostPath);
std::string ReadString(HKEY root, const std::string& key, const std::string& value);
bool ReadDword(HKEY root, const std::string& key, const std::string& value, DWORD& data);
bool KeyExists(HKEY root, const std::string& key);

}  // namespace kelvane::engine_test
