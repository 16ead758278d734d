#include "tests/support/scripted_service.h"

#include <span>

#include "framework/com.h"
#include "tests/support/fake_binding.h"

namespace kelvane::test {
namespace {

constexpr UINT_PTR kPlayTimer = 1;
constexpr char kWindowClass[] = "KelvaneScriptedService";

class FakeClassFactory : public fw::ComObject<FakeClassFactory, IClassFactory> {
public:
    static std::span<const fw::InterfaceEntry<FakeClassFactory>> InterfaceMap() {
        static constexpr fw::InterfaceEntry<FakeClassFactory> map[] = {
            fw::Interface<FakeClassFactory, IClassFactory>(IID_IClassFactory)};
        return map;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** object) override {
        if (object) *object = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

// The binding handed to OnStartBinding: Abort makes the player stop at its next step.
class ScriptedBinding : public FakeBinding<ScriptedBinding> {
public:
    explicit ScriptedBinding(ScriptedService& service) : service_(service) {}
    HRESULT STDMETHODCALLTYPE Abort() override {
        ++service_.abortCalls;
        if (service_.playing_) service_.playing_->aborted = true;
        return S_OK;
    }

private:
    ScriptedService& service_;
};

Attempt Attempt::Installs(int progress) {
    std::vector<Report> reports{Report::Start()};
    for (int i = 0; i < progress; ++i) {
        reports.push_back(Report::Progress(i == 0 ? BINDSTATUS_FINDINGRESOURCE : BINDSTATUS_INSTALLINGCOMPONENTS));
    }
    reports.push_back(Report::Object());
    reports.push_back(Report::Stop(S_OK));
    return Async(std::move(reports));
}

Attempt Attempt::Fails(int progress) {
    std::vector<Report> reports{Report::Start()};
    for (int i = 0; i < progress; ++i) {
        reports.push_back(Report::Progress(i == 0 ? BINDSTATUS_FINDINGRESOURCE : BINDSTATUS_BEGINDOWNLOADDATA));
    }
    reports.push_back(Report::Stop(E_FAIL));
    return Async(std::move(reports));
}

ScriptedService::ScriptedService() : classObject_(fw::MakeComObject<FakeClassFactory>().query<IUnknown>(IID_IUnknown)) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &ScriptedService::WindowProcedure;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window_.reset(::CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleA(nullptr), nullptr));
    ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ScriptedService::~ScriptedService() {
    ::SetWindowLongPtrA(window_.get(), GWLP_USERDATA, 0);
}

HRESULT ScriptedService::RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) {
    registered_ = fw::com_ptr<IBindStatusCallback>(callback);
    return UrlmonService::RegisterCallback(context, callback);
}

HRESULT ScriptedService::GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS,
                                               DWORD versionLS, LPCWSTR mimeType, IBindCtx*, DWORD classContext,
                                               REFIID iid, void** object) {
    requests.push_back({clsid, codeLocation ? codeLocation : L"", versionMS, versionLS, mimeType == nullptr,
                        classContext, iid});
    if (object) *object = nullptr;
    Attempt attempt = fallback;
    if (!attempts.empty()) {
        attempt = std::move(attempts.front());
        attempts.pop_front();
    }
    switch (attempt.kind) {
    case Attempt::Kind::ImmediateSuccess:
        classObject_->AddRef();  // the caller's reference
        *object = classObject_.get();
        return S_OK;
    case Attempt::Kind::ImmediateFailure:
        return attempt.failure;
    case Attempt::Kind::Asynchronous:
        break;
    }
    Playing playing;
    playing.callback = registered_;
    playing.binding = fw::MakeComObject<ScriptedBinding>(*this).query<IBinding>(IID_IBinding);
    playing.reports = std::move(attempt.reports);
    playing.ignoresAbort = attempt.ignoresAbort;
    playing_ = std::move(playing);
    ScheduleNext();
    return MK_S_ASYNCHRONOUS;
}

void ScriptedService::ScheduleNext() { ::SetTimer(window_.get(), kPlayTimer, reportDelayMs, nullptr); }

void ScriptedService::PlayNext() {
    ::KillTimer(window_.get(), kPlayTimer);
    if (!playing_) return;
    Playing& p = *playing_;
    if (p.aborted && !p.ignoresAbort) {
        reportsSkipped += static_cast<int>(p.reports.size() - p.next);
        auto callback = p.callback;
        playing_.reset();
        if (callback) callback->OnStopBinding(E_ABORT, nullptr);
        return;
    }
    if (p.next >= p.reports.size()) {
        playing_.reset();
        return;
    }
    Report report = p.reports[p.next++];
    auto callback = p.callback;
    if (callback) {
        switch (report.kind) {
        case Report::Kind::StartBinding:
            callback->OnStartBinding(0, p.binding.get());
            break;
        case Report::Kind::Progress:
            callback->OnProgress(0, 0, report.status, report.text ? report.text->c_str() : nullptr);
            break;
        case Report::Kind::ObjectAvailable:
            callback->OnObjectAvailable(report.classFactoryIid ? IID_IClassFactory : IID_IDispatch,
                                        report.nullObject ? nullptr : classObject_.get());
            break;
        case Report::Kind::StopBinding:
            playing_.reset();
            callback->OnStopBinding(report.result, nullptr);
            return;
        case Report::Kind::Call:
            report.call();
            break;
        }
    }
    if (playing_) ScheduleNext();
}

LRESULT CALLBACK ScriptedService::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kPlayTimer) {
        auto* self = reinterpret_cast<ScriptedService*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self) self->PlayNext();
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace kelvane::test
