#include "download/engine/code_download_engine.h"

#include <shlwapi.h>

#include <algorithm>
#include <deque>
#include <span>

#include "download/engine/cabinet.h"
#include "download/engine/engine_util.h"
#include "download/engine/install_plan.h"
#include "download/engine/placement.h"
#include "download/engine/registrar.h"
#include "framework/com.h"
#include "framework/raii.h"
#include "framework/strings.h"

namespace kelvane {

using namespace engine;

namespace {

constexpr UINT kStepMessage = WM_APP + 1;          // run the next step of the attempt in front
constexpr UINT kWakeMessage = WM_APP + 2;          // an abort was asked for
constexpr UINT kRegistrationMessage = WM_APP + 3;  // news from the registration child
const wchar_t kWindowClass[] = L"KelvaneCodeDownloadEngine";
const wchar_t kCabinetMimeType[] = L"application/vnd.ms-cab-compressed";
wchar_t kCallbackHolderName[] = L"_BSCB_Holder_";

enum class Step { Start, Find, BeginData, MimeType, Unpack, Plan, Install, Registering, EndComponents, Deliver };

// One attempt; also the binding the callback is given.
class Attempt : public fw::ComObject<Attempt, IBinding> {
public:
    static std::span<const fw::InterfaceEntry<Attempt>> InterfaceMap() {
        static const fw::InterfaceEntry<Attempt> map[] = {fw::Interface<Attempt, IBinding>(IID_IBinding)};
        return map;
    }

    HRESULT STDMETHODCALLTYPE Abort() override {
        if (stopped) return INET_E_RESULT_DISPATCHED;
        if (!aborted) {
            aborted = true;
            ::PostMessageW(window, kWakeMessage, 0, 0);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Suspend() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resume() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPriority(LONG value) override {
        priority = value;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* value) override {
        if (!value) return E_POINTER;
        *value = priority;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text, DWORD*) override {
        if (!protocol || !result || !text) return E_INVALIDARG;
        *protocol = CLSID_NULL;
        *text = nullptr;
        if (!stopped) return E_UNEXPECTED;
        *result = static_cast<DWORD>(outcome);
        return S_OK;
    }

    HWND window = nullptr;
    CLSID clsid{};
    std::wstring codeLocation;  // as asked for: reported, and kept as the code base
    std::wstring cabinet;       // the local file
    DWORD versionMS = 0, versionLS = 0;
    DWORD classContext = 0;
    IID iid{};
    fw::com_ptr<IBindStatusCallback> callback;

    Step step = Step::Start;
    bool aborted = false;
    bool stopped = false;
    HRESULT outcome = S_OK;
    LONG priority = THREAD_PRIORITY_NORMAL;
    ULONG cabinetSize = 0;

    TempFolder temp;
    std::vector<ExtractedFile> unpacked;
    InstallPlan plan;
    std::vector<std::wstring> placed;  // parallel to plan.files
    std::wstring placedInf;
    size_t registering = 0;

    // What placing changed, to be undone when the attempt fails before any of
    // its modules is registered: nothing then refers to the files.
    struct Change {
        std::wstring placed;
        std::wstring previous;  // copy of the file it replaced, or "" when it was new
    };
    std::vector<Change> changes;
    bool madeControlsFolder = false;
    bool registered = false;
};

// What urlmon's ReleaseBindInfo frees. urlmon itself is not loaded where this
// engine stands in for its code download, and mapping it costs megabytes.
void ReleaseBindInfoFields(BINDINFO& info) {
    ::CoTaskMemFree(info.szExtraInfo);
    ::CoTaskMemFree(info.szCustomVerb);
    ::ReleaseStgMedium(&info.stgmedData);
    if (info.pUnk) info.pUnk->Release();
    ULONG size = info.cbSize;
    info = {};
    info.cbSize = size;
}

bool AtLeast(DWORD ms, DWORD ls, DWORD wantedMS, DWORD wantedLS) {
    return ms > wantedMS || (ms == wantedMS && ls >= wantedLS);
}

// A registered in-process server whose file is at least the version asked for.
bool InstalledInVersion(REFCLSID clsid, DWORD versionMS, DWORD versionLS) {
    std::wstring key = L"CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = sizeof(path);
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path,
                       &size) != ERROR_SUCCESS)
        return false;
    std::wstring file = path;
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"') file = file.substr(1, file.size() - 2);
    if (!IsFile(file)) return false;
    DWORD ms = 0, ls = 0;
    FileVersionOf(file, ms, ls);  // without a version resource it counts as 0.0.0.0
    return AtLeast(ms, ls, versionMS, versionLS);
}

// The local file a code location names: a plain path or a file: URL.
HRESULT LocalFileOf(const std::wstring& location, std::wstring& file) {
    std::wstring path = location;
    if (::PathIsURLW(location.c_str())) {
        if (!::UrlIsFileUrlW(location.c_str())) return INET_E_UNKNOWN_PROTOCOL;
        wchar_t buffer[MAX_PATH * 2] = {};
        DWORD length = MAX_PATH * 2;
        if (FAILED(::PathCreateFromUrlW(location.c_str(), buffer, &length, 0))) return INET_E_INVALID_URL;
        path = buffer;
    }
    wchar_t full[MAX_PATH * 2] = {};
    DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 2) return INET_E_INVALID_URL;
    file = full;
    return S_OK;
}

}  // namespace

struct CodeDownloadEngine::Impl {
    Impl(fw::Platform& p, EngineOptions o) : platform(p), options(std::move(o)) {}

    fw::Platform& platform;
    EngineOptions options;
    fw::unique_window window;
    DWORD thread = 0;
    std::deque<fw::com_ptr<Attempt>> queue;  // the front one runs; the others wait their turn
    std::unique_ptr<Registrar> registrar;
    bool running = false;  // a step is under way (a callback may pump messages)

    HRESULT EnsureWindow();
    Registrar& Registration();
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void Post() { ::PostMessageW(window.get(), kStepMessage, 0, 0); }
    void Next(Attempt& a, Step step) {
        a.step = step;
        Post();
    }
    // False when the callback aborted the binding from inside the report.
    bool Report(Attempt& a, ULONG progress, ULONG maximum, ULONG status, const std::wstring& text) {
        a.callback->OnProgress(progress, maximum, status, text.c_str());
        return !a.aborted;
    }
    void Aborted() { Finish(E_ABORT, L"the download was aborted"); }
    void RunStep(Attempt& a);
    void RegisterNext(Attempt& a);
    HRESULT Place(Attempt& a, const std::wstring& source, const std::wstring& folder, const std::wstring& name,
                  const std::wstring& downloadedControls, std::wstring& placed);
    void Undo(Attempt& a);
    void RemoveTemp(Attempt& a);
    void Finish(HRESULT hr, const std::wstring& detail = {});
    const PlannedFile& MainFile(const Attempt& a) const;
    Folders CurrentFolders() const {
        return FoldersFor(fw::Widen(platform.WindowsDirectory()), fw::Widen(platform.SystemDirectory()));
    }
};

HRESULT CodeDownloadEngine::Impl::EnsureWindow() {
    if (window) return thread == ::GetCurrentThreadId() ? S_OK : RPC_E_WRONG_THREAD;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (!::GetClassInfoExW(instance, kWindowClass, &windowClass)) {
        windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return HRESULT_FROM_WIN32(::GetLastError());
    }
    window.reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    if (!window) return HRESULT_FROM_WIN32(::GetLastError());
    ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    thread = ::GetCurrentThreadId();
    return S_OK;
}

Registrar& CodeDownloadEngine::Impl::Registration() {
    if (!registrar) {
        Registrar::Settings settings;
        if (!options.useSystemRegistrar) {
            // The host lies beside the program.
            settings.hostPath = options.registrationHost.empty()
                                    ? fw::Widen(fw::FolderOf(platform.ModulePath())) + L"\\kvreghost.exe"
                                    : options.registrationHost;
        }
        wchar_t system[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        settings.regsvr32Path = std::wstring(system) + L"\\regsvr32.exe";
        settings.timeoutMs = options.registrationTimeoutMs;
        registrar = std::make_unique<Registrar>(std::move(settings));
    }
    return *registrar;
}

LRESULT CALLBACK CodeDownloadEngine::Impl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kStepMessage || message == kWakeMessage || message == kRegistrationMessage) {
        auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self) self->OnMessage(message, wParam, lParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void CodeDownloadEngine::Impl::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (running) {
        // Dispatched from inside one of our own callbacks: its turn comes after.
        ::PostMessageW(window.get(), message, wParam, lParam);
        return;
    }
    if (queue.empty()) return;
    fw::com_ptr<Attempt> attempt = queue.front();
    Attempt& a = *attempt.get();
    running = true;
    if (message == kStepMessage) {
        if (a.aborted) {
            Aborted();
        } else {
            RunStep(a);
        }
    } else if (message == kWakeMessage) {
        // Other steps see the abort when their message comes; a registration
        // under way would keep it waiting for the child.
        if (a.aborted && a.step == Step::Registering) {
            Registration().Cancel();
            Aborted();
        }
    } else if (a.step == Step::Registering) {
        HRESULT hr = S_OK;
        if (Registration().OnSignal(wParam, lParam, hr)) {
            const PlannedFile& file = a.plan.files[a.registering];
            if (a.aborted) {
                Aborted();
            } else if (FAILED(hr) && !(file.registrationOptional && hr == HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND))) {
                Finish(hr, hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT)
                               ? L"the registration of " + file.name + L" did not end in time"
                               : L"the registration of " + file.name + L" failed");
            } else {
                a.registered = a.registered || SUCCEEDED(hr);
                ++a.registering;
                RegisterNext(a);
            }
        }
    }
    running = false;
}

const PlannedFile& CodeDownloadEngine::Impl::MainFile(const Attempt& a) const {
    std::wstring wanted = GuidText(a.clsid);
    for (const auto& file : a.plan.files) {
        if (EqualsNoCase(file.clsid, wanted)) return file;
    }
    for (const auto& file : a.plan.files) {
        if (file.registerServer) return file;
    }
    return a.plan.files.front();
}

void CodeDownloadEngine::Impl::RunStep(Attempt& a) {
    switch (a.step) {
        case Step::Start: {
            DWORD flags = 0;
            BINDINFO info{};
            info.cbSize = sizeof(info);
            if (SUCCEEDED(a.callback->GetBindInfo(&flags, &info))) ReleaseBindInfoFields(info);
            HRESULT hr = a.callback->OnStartBinding(0, static_cast<IBinding*>(&a));
            if (FAILED(hr)) return Finish(hr, L"the callback refused the binding");
            if (a.aborted) return Aborted();
            return Next(a, Step::Find);
        }
        case Step::Find: {
            // Looked for before it is reported: an attempt that ends on a lone
            // "finding" report would make a retry look like a repeated search.
            WIN32_FILE_ATTRIBUTE_DATA data{};
            if (!::GetFileAttributesExW(a.cabinet.c_str(), GetFileExInfoStandard, &data) ||
                (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                return Finish(INET_E_RESOURCE_NOT_FOUND, L"the cabinet " + a.cabinet + L" is not there");
            a.cabinetSize = data.nFileSizeHigh ? 0xFFFFFFFFu : data.nFileSizeLow;
            if (!Report(a, 0, 0, BINDSTATUS_FINDINGRESOURCE, a.codeLocation)) return Aborted();
            Registration().Warm();
            // Modules of earlier attempts whose objects are all gone need not stay mapped.
            ::CoFreeUnusedLibrariesEx(0, 0);
            return Next(a, Step::BeginData);
        }
        case Step::BeginData:
            if (!Report(a, 0, a.cabinetSize, BINDSTATUS_BEGINDOWNLOADDATA, a.codeLocation)) return Aborted();
            return Next(a, Step::MimeType);
        case Step::MimeType:
            if (!Report(a, 0, a.cabinetSize, BINDSTATUS_MIMETYPEAVAILABLE, kCabinetMimeType)) return Aborted();
            return Next(a, Step::Unpack);
        case Step::Unpack: {
            HRESULT hr = a.temp.Create(options.tempRoot);
            if (FAILED(hr)) return Finish(hr, L"no folder to unpack the cabinet in");
            ExtractLimits limits;
            limits.maxTotalBytes = options.maxUnpackedBytes;
            limits.maxEntries = options.maxEntries;
            // Unpacked entries and the copies of replaced files live apart.
            std::wstring unpacked = a.temp.path() + L"\\unpacked";
            ::CreateDirectoryW(unpacked.c_str(), nullptr);
            ExtractResult result = ExtractCabinet(a.cabinet, unpacked, limits);
            a.unpacked = std::move(result.files);
            if (FAILED(result.hr)) return Finish(result.hr, result.detail);
            if (!Report(a, a.cabinetSize, a.cabinetSize, BINDSTATUS_ENDDOWNLOADDATA, a.codeLocation)) return Aborted();
            return Next(a, Step::Plan);
        }
        case Step::Plan: {
            PlanResult result = PlanInstall(a.unpacked);
            if (FAILED(result.hr)) return Finish(result.hr, result.detail);
            a.plan = std::move(result.plan);
            if (!Report(a, 0, 0, BINDSTATUS_BEGINDOWNLOADCOMPONENTS,
                        a.plan.infName.empty() ? a.plan.files.front().name : a.plan.infName))
                return Aborted();
            return Next(a, Step::Install);
        }
        case Step::Install: {
            if (!Report(a, 0, 0, BINDSTATUS_INSTALLINGCOMPONENTS, MainFile(a).name)) return Aborted();
            Folders folders = CurrentFolders();
            if (!IsFolder(folders.downloadedControls)) {
                if (!::CreateDirectoryW(folders.downloadedControls.c_str(), nullptr) &&
                    !IsFolder(folders.downloadedControls))
                    return Finish(HRESULT_FROM_WIN32(::GetLastError()), L"cannot make " + folders.downloadedControls);
                a.madeControlsFolder = true;
            }
            a.placed.clear();
            for (const auto& file : a.plan.files) {
                const std::wstring& folder = file.destination == Destination::Windows  ? folders.windows
                                             : file.destination == Destination::System ? folders.system
                                                                                       : folders.downloadedControls;
                std::wstring placed;
                HRESULT hr = Place(a, file.source, folder, file.name, folders.downloadedControls, placed);
                if (FAILED(hr)) return Finish(hr, L"cannot place " + file.name + L" in " + folder);
                a.placed.push_back(placed);
            }
            if (!a.plan.infName.empty()) {
                // Kept beside the controls, as the system service does; the cleanup removes it.
                std::wstring name = a.plan.infName.substr(a.plan.infName.find_last_of(L'\\') + 1);
                HRESULT hr = Place(a, a.plan.infSource, folders.downloadedControls, name, folders.downloadedControls,
                                   a.placedInf);
                if (FAILED(hr)) return Finish(hr, L"cannot place " + name);
            }
            a.registering = 0;
            return RegisterNext(a);
        }
        case Step::EndComponents: {
            const PlannedFile& main = MainFile(a);
            InstallRecord record;
            record.clsid = GuidText(a.clsid);
            record.codeBase = a.codeLocation;
            record.inf = a.placedInf;
            record.files = a.placed;
            DWORD ms = 0, ls = 0;
            size_t index = static_cast<size_t>(&main - a.plan.files.data());
            if (ParseVersion(main.fileVersion, ms, ls) || FileVersionOf(a.placed[index], ms, ls)) {
                record.installedVersion = VersionText(ms, ls);
            } else {
                record.installedVersion = L"0,0,0,0";
            }
            HRESULT hr = WriteRecords(CurrentFolders(), record);
            if (FAILED(hr)) return Finish(hr, L"cannot write the records of the install");
            if (!Report(a, 0, 0, BINDSTATUS_ENDDOWNLOADCOMPONENTS, main.name)) return Aborted();
            return Next(a, Step::Deliver);
        }
        case Step::Deliver: {
            fw::com_ptr<IUnknown> object;
            HRESULT hr = ::CoGetClassObject(a.clsid, a.classContext, nullptr, a.iid, object.put_void());
            if (FAILED(hr)) return Finish(hr, L"the installed component gives no class object");
            a.callback->OnObjectAvailable(a.iid, object.get());
            return Finish(S_OK);
        }
        case Step::Registering:
            return;
    }
}

void CodeDownloadEngine::Impl::RegisterNext(Attempt& a) {
    while (a.registering < a.plan.files.size() && !a.plan.files[a.registering].registerServer) ++a.registering;
    if (a.registering == a.plan.files.size()) return Next(a, Step::EndComponents);
    a.step = Step::Registering;
    HRESULT hr = Registration().Begin(a.placed[a.registering], window.get(), kRegistrationMessage);
    if (FAILED(hr)) Finish(hr, L"cannot start the registration of " + a.plan.files[a.registering].name);
}

HRESULT CodeDownloadEngine::Impl::Place(Attempt& a, const std::wstring& source, const std::wstring& folder,
                                        const std::wstring& name, const std::wstring& downloadedControls,
                                        std::wstring& placed) {
    std::wstring target = folder + L"\\" + name;
    std::wstring previous;
    if (IsFile(target)) {
        ::CreateDirectoryW((a.temp.path() + L"\\previous").c_str(), nullptr);
        previous = a.temp.path() + L"\\previous\\" + std::to_wstring(a.changes.size());
        if (!::CopyFileW(target.c_str(), previous.c_str(), FALSE)) previous.clear();
    }
    HRESULT hr = PlaceFile(source, folder, name, downloadedControls, placed);
    if (SUCCEEDED(hr)) {
        bool replaced = !previous.empty() && EqualsNoCase(placed, target);
        a.changes.push_back({placed, replaced ? previous : std::wstring()});
    }
    return hr;
}

void CodeDownloadEngine::Impl::Undo(Attempt& a) {
    for (auto change = a.changes.rbegin(); change != a.changes.rend(); ++change) {
        if (change->previous.empty()) {
            ::DeleteFileW(change->placed.c_str());
            std::wstring folder = change->placed.substr(0, change->placed.find_last_of(L'\\'));
            if (folder.find(L"\\CONFLICT.") != std::wstring::npos) ::RemoveDirectoryW(folder.c_str());
        } else {
            ::CopyFileW(change->previous.c_str(), change->placed.c_str(), FALSE);
        }
    }
    a.changes.clear();
    if (a.madeControlsFolder) ::RemoveDirectoryW(CurrentFolders().downloadedControls.c_str());  // only when empty
}

void CodeDownloadEngine::Impl::RemoveTemp(Attempt& a) {
    if (a.temp.path().empty()) return;
    // What we wrote is known; deleting it by name spares walking the folders,
    // which is slow on some systems. Anything else left makes the walk happen.
    for (const auto& file : a.unpacked) ::DeleteFileW(file.path.c_str());
    for (const auto& change : a.changes) {
        if (!change.previous.empty()) ::DeleteFileW(change.previous.c_str());
    }
    std::vector<std::wstring> folders;
    for (const auto& file : a.unpacked) {
        for (size_t slash = file.name.find(L'\\'); slash != std::wstring::npos; slash = file.name.find(L'\\', slash + 1))
            folders.push_back(a.temp.path() + L"\\unpacked\\" + file.name.substr(0, slash));
    }
    std::sort(folders.begin(), folders.end(), [](const auto& x, const auto& y) { return x.size() > y.size(); });
    for (const auto& folder : folders) ::RemoveDirectoryW(folder.c_str());
    ::RemoveDirectoryW((a.temp.path() + L"\\unpacked").c_str());
    bool replaced = false;
    for (const auto& change : a.changes) replaced = replaced || !change.previous.empty();
    if (replaced) ::RemoveDirectoryW((a.temp.path() + L"\\previous").c_str());
    if (::RemoveDirectoryW(a.temp.path().c_str())) {
        a.temp.Forget();
    } else {
        a.temp.Remove();
    }
}

void CodeDownloadEngine::Impl::Finish(HRESULT hr, const std::wstring& detail) {
    fw::com_ptr<Attempt> attempt = queue.front();
    queue.pop_front();
    Attempt& a = *attempt.get();
    if (a.step == Step::Registering && registrar) registrar->Cancel();
    a.stopped = true;
    a.outcome = hr;
    if (FAILED(hr) && !a.registered) Undo(a);
    RemoveTemp(a);
    // The next attempt's turn is set before the callback runs: it may start another.
    if (!queue.empty()) Post();
    fw::com_ptr<IBindStatusCallback> callback = std::move(a.callback);
    callback->OnStopBinding(hr, detail.empty() ? nullptr : detail.c_str());
}

CodeDownloadEngine::CodeDownloadEngine(fw::Platform& platform, EngineOptions options)
    : impl_(std::make_unique<Impl>(platform, std::move(options))) {}

CodeDownloadEngine::~CodeDownloadEngine() {
    impl_->running = true;  // no more steps from here on
    while (!impl_->queue.empty()) impl_->Finish(E_ABORT, L"the download service was shut down");
    impl_->registrar.reset();
    impl_->window.reset();
}

HRESULT CodeDownloadEngine::RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) {
    if (!context || !callback) return E_INVALIDARG;
    return context->RegisterObjectParam(kCallbackHolderName, callback);
}

HRESULT CodeDownloadEngine::GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS,
                                                  DWORD versionLS, LPCWSTR mimeType, IBindCtx* context,
                                                  DWORD classContext, REFIID iid, void** object) {
    (void)mimeType;
    if (!object) return E_POINTER;
    *object = nullptr;

    // 0xFFFFFFFF/0xFFFFFFFF asks for a version no file has: always install.
    bool any = versionMS == 0xFFFFFFFF && versionLS == 0xFFFFFFFF;
    if (!any && InstalledInVersion(clsid, versionMS, versionLS)) {
        if (SUCCEEDED(::CoGetClassObject(clsid, classContext, nullptr, iid, object))) return S_OK;
        *object = nullptr;
    }

    if (!context) return E_INVALIDARG;
    if (!codeLocation || !*codeLocation) return INET_E_RESOURCE_NOT_FOUND;
    std::wstring cabinet;
    HRESULT hr = LocalFileOf(codeLocation, cabinet);
    if (FAILED(hr)) return hr;

    // The callback the caller registered on the context, as the system service finds it.
    fw::com_ptr<IUnknown> holder;
    if (FAILED(context->GetObjectParam(kCallbackHolderName, holder.put())) || !holder) return E_INVALIDARG;
    auto callback = holder.query<IBindStatusCallback>(IID_IBindStatusCallback);
    if (!callback) return E_INVALIDARG;

    if (FAILED(hr = impl_->EnsureWindow())) return hr;
    auto attempt = fw::MakeComObject<Attempt>();
    attempt->window = impl_->window.get();
    attempt->clsid = clsid;
    attempt->codeLocation = codeLocation;
    attempt->cabinet = cabinet;
    attempt->versionMS = versionMS;
    attempt->versionLS = versionLS;
    attempt->classContext = classContext;
    attempt->iid = iid;
    attempt->callback = std::move(callback);
    impl_->queue.push_back(std::move(attempt));
    if (impl_->queue.size() == 1) impl_->Post();
    return MK_S_ASYNCHRONOUS;
}

}  // namespace kelvane
