// A code-download service that plays a script per attempt, as the real
// service would: an answer at once (S_OK with a class object, or a failure),
// or MK_S_ASYNCHRONOUS followed by callback reports delivered later from the
// message loop, never from inside the request. It knows nothing of the dialog.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/download_service.h"
#include "framework/raii.h"

namespace kelvane::test {

struct Report {
    enum class Kind { StartBinding, Progress, ObjectAvailable, StopBinding, Call };
    Kind kind = Kind::Progress;
    ULONG status = 0;                   // Progress: the BINDSTATUS code
    std::optional<std::wstring> text;   // Progress: the status text, none = null
    bool classFactoryIid = true;        // ObjectAvailable: IID_IClassFactory or another
    bool nullObject = false;            // ObjectAvailable: hand over a null object
    HRESULT result = S_OK;              // StopBinding
    std::function<void()> call;         // Call: the test's own action at this point

    static Report Start() { return Of(Kind::StartBinding); }
    static Report Progress(ULONG status, std::optional<std::wstring> text = std::nullopt) {
        Report r = Of(Kind::Progress);
        r.status = status;
        r.text = std::move(text);
        return r;
    }
    static Report Object() { return Of(Kind::ObjectAvailable); }
    static Report Stop(HRESULT hr = S_OK) {
        Report r = Of(Kind::StopBinding);
        r.result = hr;
        return r;
    }
    static Report Call(std::function<void()> action) {
        Report r = Of(Kind::Call);
        r.call = std::move(action);
        return r;
    }
    static Report Of(Kind kind) {
        Report r;
        r.kind = kind;
        return r;
    }
};

struct Attempt {
    enum class Kind { ImmediateSuccess, ImmediateFailure, Asynchronous };
    Kind kind = Kind::Asynchronous;
    HRESULT failure = E_NOINTERFACE;  // ImmediateFailure
    std::vector<Report> reports;      // Asynchronous
    bool ignoresAbort = false;        // plays on after Abort, as a service that is already done

    static Attempt Success() {
        Attempt a;
        a.kind = Kind::ImmediateSuccess;
        return a;
    }
    static Attempt Failure(HRESULT hr = E_NOINTERFACE) {
        Attempt a;
        a.kind = Kind::ImmediateFailure;
        a.failure = hr;
        return a;
    }
    static Attempt Async(std::vector<Report> reports) {
        Attempt a;
        a.reports = std::move(reports);
        return a;
    }
    // A download as the real service reports one: start, `progress` reports, object, stop.
    static Attempt Installs(int progress = 3);
    // A download that ends with an error and no object.
    static Attempt Fails(int progress = 2);
};

struct Request {
    CLSID clsid;
    std::wstring codeLocation;
    DWORD versionMS;
    DWORD versionLS;
    bool mimeTypeNull;
    DWORD classContext;
    IID iid;
};

class ScriptedService : public UrlmonService {
public:
    ScriptedService();
    ~ScriptedService() override;

    // Attempts are played in order; when they run out, `fallback` is played.
    std::deque<Attempt> attempts;
    Attempt fallback = Attempt::Installs();
    // Pause between two asynchronous reports.
    UINT reportDelayMs = 5;

    std::vector<Request> requests;
    int abortCalls = 0;
    // Reports left unplayed because the binding was aborted.
    int reportsSkipped = 0;

    HRESULT RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) override;
    HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS, DWORD versionLS,
                                  LPCWSTR mimeType, IBindCtx* context, DWORD classContext, REFIID iid,
                                  void** object) override;

    // Whether an asynchronous attempt is still being played.
    bool Busy() const { return playing_.has_value(); }

private:
    struct Playing {
        fw::com_ptr<IBindStatusCallback> callback;
        fw::com_ptr<IBinding> binding;
        std::vector<Report> reports;
        size_t next = 0;
        bool aborted = false;
        bool ignoresAbort = false;
    };
    friend class ScriptedBinding;

    static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void PlayNext();
    void ScheduleNext();

    fw::unique_window window_;
    fw::com_ptr<IBindStatusCallback> registered_;
    fw::com_ptr<IUnknown> classObject_;
    std::optional<Playing> playing_;
};

}  // namespace kelvane::test
