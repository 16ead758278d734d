// What the engine tests share: a bind-status callback that records what the
// engine reports, a message loop to run an attempt to its end, scratch
// folders for the Windows directory and the unpack folders, and OLE for the
// test's thread. The records go to a redirected HKEY_LOCAL_MACHINE
// (test::RedirectedKey).
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "download/engine/code_download_engine.h"
#include "framework/com.h"
#include "framework/raii.h"
#include "framework/strings.h"
#include "tests/support/modal_driver.h"
#include "tests/support/test_platform.h"
#include "tests/support/test_registry.h"

namespace kelvane::engine_test {

using test::ClassRegistration;
using test::ClsidOf;
using test::KeyExists;
using test::ReadDword;
using test::ReadString;

// OLE started on the test's thread, as the download job's thread has it.
class OleTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
};

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
    // False when the unpack root is gone as well.
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

// A file the build made, given by its build-machine (Unix) path.
inline std::wstring BuildPath(const std::string& hostPath) { return fw::Widen(test::BuildFile(hostPath)); }

}  // namespace kelvane::engine_test
