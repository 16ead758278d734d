#include "tests/engine/engine_test_support.h"

#include <shlwapi.h>

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

bool Scratch::TempIsEmpty() const { return ::PathIsDirectoryEmptyA(temp.c_str()) != FALSE; }

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
    if (!test::RunUntil([&] { return callback.stops != 0; }, timeoutMs)) return false;
    // Whatever the engine does after the stop (nothing, it should be) is seen too.
    test::PumpMessages();
    return true;
}

}  // namespace kelvane::engine_test
