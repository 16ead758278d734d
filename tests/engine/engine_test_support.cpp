#include "tests/engine/engine_test_support.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include "framework/strings.h"

namespace kelvane::engine_test {

std::span<const fw::InterfaceEntry<RecordingCallback>> RecordingCallback::InterfaceMap() {
    static const fw::InterfaceEntry<RecordingCallback> map[] = {
        fw::Interface<RecordingCallback, IBindStatusCallback>(IID_IBindStatusCallback)};
    return map;
}

std::vector<ULONG> RecordingCallback::Statuses() const {
    std::vector<ULONG> statuses;
    for (const auto& event : events) {
        if (event.kind == Event::Progress) statuses.push_back(event.status);
    }
    return statuses;
}

void RecordingCallback::Record(Event event) {
    events.push_back(event);
    if (onEvent) onEvent(*this, events.back());
}

HRESULT RecordingCallback::OnStartBinding(DWORD, IBinding* value) {
    binding = fw::com_ptr<IBinding>(value);
    Record({Event::Start, 0, L"", S_OK});
    return S_OK;
}

HRESULT RecordingCallback::OnProgress(ULONG, ULONG, ULONG status, LPCWSTR text) {
    Record({Event::Progress, status, text ? text : L"", S_OK});
    return S_OK;
}

HRESULT RecordingCallback::OnStopBinding(HRESULT result, LPCWSTR text) {
    ++stops;
    stopResult = result;
    Record({Event::Stop, 0, text ? text : L"", result});
    return S_OK;
}

HRESULT RecordingCallback::OnObjectAvailable(REFIID iid, IUnknown* value) {
    EXPECT_TRUE(IsEqualIID(iid, IID_IClassFactory));
    object = fw::com_ptr<IUnknown>(value);
    Record({Event::Object, 0, L"", S_OK});
    return S_OK;
}

Scratch::Scratch() {
    windows = root / "windows";
    system = root / "windows\\system32";
    // Deep, so that an entry climbing out of its unpack folder still lands in the scratch folder.
    temp = root / "a\\b\\c\\d\\temp";
    canary = root / "canary.txt";
    test::MakeFolder(windows);
    test::MakeFolder(system);
    for (const char* part : {"a", "a\\b", "a\\b\\c", "a\\b\\c\\d", "a\\b\\c\\d\\temp"}) test::MakeFolder(root / part);
    test::WriteFile(canary, "canary\r\n");
    platform.windowsDirectory = windows;
    platform.systemDirectory = system;
}

EngineOptions Scratch::Options() const {
    EngineOptions options;
    options.registrationHost = fw::Widen(test::TestProgramFolder() + "\\kvreghost.exe");
    options.tempRoot = fw::Widen(temp);
    // Generous: a loaded machine may be slow to start the registration host.
    options.registrationTimeoutMs = 30000;
    return options;
}

namespace {
void ListFiles(const std::string& folder, const std::string& relative, std::vector<std::string>& files) {
    WIN32_FIND_DATAA data{};
    fw::unique_find find(::FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find) return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListFiles(folder + "\\" + name, path, files);
        } else {
            files.push_back(path);
        }
    } while (::FindNextFileA(find.get(), &data));
}
}  // namespace

std::vector<std::string> Scratch::Files() const {
    std::vector<std::string> files;
    ListFiles(root.path(), "", files);
    return files;
}

bool Scratch::TempIsEmpty() const {
    WIN32_FIND_DATAA data{};
    fw::unique_find find(::FindFirstFileA((temp + "\\*").c_str(), &data));
    if (!find) return false;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") return false;
    } while (::FindNextFileA(find.get(), &data));
    return true;
}

Attempt Start(CodeDownloadEngine& engine, const std::string& clsid, const std::wstring& cabinet, DWORD versionMS,
              DWORD versionLS, std::function<void(RecordingCallback&, const Event&)> onEvent) {
    Attempt attempt;
    attempt.callback = fw::MakeComObject<RecordingCallback>();
    attempt.callback->onEvent = std::move(onEvent);
    fw::com_ptr<IBindCtx> context;
    EXPECT_EQ(engine.CreateBindContext(context.put()), S_OK);
    engine.AddBindFlags(context.get(), BIND_MAYBOTHERUSER);
    auto bsc = attempt.callback.query<IBindStatusCallback>(IID_IBindStatusCallback);
    EXPECT_EQ(engine.RegisterCallback(context.get(), bsc.get()), S_OK);
    CLSID id = ClsidOf(clsid);
    attempt.immediate = engine.GetClassObjectFromURL(id, cabinet.c_str(), versionMS, versionLS, nullptr,
                                                     context.get(), CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                                     IID_IClassFactory, attempt.immediateObject.put_void());
    attempt.reportedInsideCall = !attempt.callback->events.empty();
    return attempt;
}

Attempt Install(CodeDownloadEngine& engine, const std::string& clsid, const std::wstring& cabinet, DWORD versionMS,
                DWORD versionLS, std::function<void(RecordingCallback&, const Event&)> onEvent) {
    Attempt attempt = Start(engine, clsid, cabinet, versionMS, versionLS, std::move(onEvent));
    if (attempt.immediate == MK_S_ASYNCHRONOUS) {
        EXPECT_TRUE(RunUntilStopped(*attempt.callback.get())) << "the attempt did not stop within a minute";
    }
    return attempt;
}

bool RunUntilStopped(RecordingCallback& callback, DWORD timeoutMs) {
    ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (callback.stops == 0) {
        if (::GetTickCount64() >= deadline) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        Pump();
    }
    // Whatever the engine does after the stop (nothing, it should be) is seen too.
    Pump();
    return true;
}

void Pump() {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

RedirectedMachineKey::RedirectedMachineKey() {
    path_ = L"Software\\Kelvane engine tests\\" + std::to_wstring(::GetCurrentProcessId());
    // Not volatile: what the engine creates below it is not.
    ::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      key_.put(), nullptr);
    EXPECT_TRUE(key_);
    EXPECT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, key_.get()), ERROR_SUCCESS);
}

RedirectedMachineKey::~RedirectedMachineKey() {
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    key_.reset();
    ::SHDeleteKeyW(HKEY_CURRENT_USER, path_.c_str());
}

ClassRegistration::ClassRegistration(std::string clsid) : clsid_(std::move(clsid)) {}

ClassRegistration::~ClassRegistration() { ::SHDeleteKeyA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid_).c_str()); }

std::string ClassRegistration::Server() const {
    return ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid_ + "\\InprocServer32", "");
}

CLSID ClsidOf(const std::string& text) {
    CLSID id{};
    std::wstring wide = fw::Widen(text);
    EXPECT_EQ(::CLSIDFromString(wide.c_str(), &id), S_OK) << text;
    return id;
}

std::wstring BuildPath(const std::string& hostPath) {
    std::string path = "Z:" + hostPath;
    for (auto& c : path) {
        if (c == '/') c = '\\';
    }
    return fw::Widen(path);
}

std::string ReadString(HKEY root, const std::string& key, const std::string& value) {
    char data[2048] = {};
    DWORD size = sizeof(data) - 1;
    if (::RegGetValueA(root, key.c_str(), value.empty() ? nullptr : value.c_str(), RRF_RT_REG_SZ, nullptr, data,
                       &size) != ERROR_SUCCESS)
        return {};
    return data;
}

bool ReadDword(HKEY root, const std::string& key, const std::string& value, DWORD& data) {
    DWORD size = sizeof(data);
    return ::RegGetValueA(root, key.c_str(), value.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const std::string& key) {
    fw::unique_hkey opened;
    return ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

}  // namespace kelvane::engine_test
