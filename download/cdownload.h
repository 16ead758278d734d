// The bind-status callback of one download: turns the code-download service's
// reports into messages posted to the job's window, records the binding so
// that the download can be aborted, and aborts it itself when the service
// searches for the resource twice in a row or offers an HTML page.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <span>

#include "framework/com.h"
#include "framework/raii.h"

namespace kelvane {

class DownloadJob;

// Private messages posted to the job's window.
constexpr UINT WM_DOWNLOAD_FINISHED = 2025;
constexpr UINT WM_CLASS_OBJECT_READY = 2026;
constexpr UINT WM_DOWNLOAD_PROGRESS = 2027;

// The reasons CDownload gives for aborting a binding itself.
constexpr LONG AbortRepeatedFinding = -1;
constexpr LONG AbortHtmlResource = -2;

// There is at most one download at a time, so the binding to abort is kept
// for the whole process.
struct BindingSlot {
    fw::com_ptr<IBinding> Binding;
    LONG Valid = 0;
};
extern BindingSlot ActiveBinding;
// Whether the previous report, of this download or the one before, was
// BINDSTATUS_FINDINGRESOURCE.
extern LONG LastStatusWasFinding;

// Aborts the binding in ActiveBinding, if one is recorded.
void AbortActiveBinding();

class CDownload : public fw::ComObject<CDownload, IBindStatusCallback, IWindowForBindingUI> {
public:
    // Without a job (as the framework's dynamic creation makes it), nothing is posted.
    CDownload() : CDownload(nullptr) {}
    explicit CDownload(DownloadJob* job);
    ~CDownload() override = default;

    static std::span<const fw::InterfaceEntry<CDownload>> InterfaceMap();

    LONG AbortReason = 0;
    DownloadJob* OwnerJob;

    // IBindStatusCallback
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR errorText) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* bindFlags, BINDINFO* bindInfo) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                              STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

    // IWindowForBindingUI
    HRESULT STDMETHODCALLTYPE GetWindow(REFGUID reason, HWND* window) override;

private:
    void Post(UINT message, WPARAM wParam, LPARAM lParam) const;
};

}  // namespace kelvane
