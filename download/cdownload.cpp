#include "download/cdownload.h"

#include <cwchar>

#include "download/download_job.h"

namespace kelvane {

BindingSlot ActiveBinding;
LONG LastStatusWasFinding = 0;

void AbortActiveBinding() {
    if (ActiveBinding.Valid == 1 && ActiveBinding.Binding) ActiveBinding.Binding->Abort();
}

CDownload::CDownload(DownloadJob* job) : OwnerJob(job) {
    // A binding left from an earlier download is given up rather than leaked.
    ActiveBinding.Binding.reset();
    ActiveBinding.Valid = 0;
}

std::span<const fw::InterfaceEntry<CDownload>> CDownload::InterfaceMap() {
    static constexpr fw::InterfaceEntry<CDownload> map[] = {
        fw::Interface<CDownload, IBindStatusCallback>(IID_IBindStatusCallback),
        fw::Interface<CDownload, IWindowForBindingUI>(IID_IWindowForBindingUI),
    };
    return map;
}

void CDownload::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (OwnerJob && OwnerJob->Handle()) ::PostMessageA(OwnerJob->Handle(), message, wParam, lParam);
}

HRESULT CDownload::OnStartBinding(DWORD, IBinding* binding) {
    ActiveBinding.Binding = fw::com_ptr<IBinding>(binding);
    ActiveBinding.Valid = 1;
    return S_OK;
}

HRESULT CDownload::GetPriority(LONG*) { return E_NOTIMPL; }

HRESULT CDownload::OnLowResource(DWORD) { return E_NOTIMPL; }

HRESULT CDownload::OnProgress(ULONG, ULONG, ULONG statusCode, LPCWSTR statusText) {
    Post(WM_DOWNLOAD_PROGRESS, statusCode, reinterpret_cast<LPARAM>(statusText));

    if (statusCode == BINDSTATUS_FINDINGRESOURCE) {
        if (LastStatusWasFinding == 1) {
            LastStatusWasFinding = 0;
            AbortReason = AbortRepeatedFinding;
            AbortActiveBinding();
        }
        LastStatusWasFinding = 1;
        return S_OK;
    }

    LastStatusWasFinding = 0;
    if (statusCode == BINDSTATUS_MIMETYPEAVAILABLE && statusText && std::wcscmp(statusText, L"text/html") == 0) {
        AbortReason = AbortHtmlResource;
        AbortActiveBinding();
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT CDownload::OnStopBinding(HRESULT, LPCWSTR) {
    Post(WM_DOWNLOAD_FINISHED, 0, 0);
    return S_OK;
}

HRESULT CDownload::GetBindInfo(DWORD*, BINDINFO*) { return S_OK; }

HRESULT CDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return S_OK; }

HRESULT CDownload::OnObjectAvailable(REFIID iid, IUnknown* object) {
    if (!::IsEqualIID(iid, IID_IClassFactory) || !object) return E_INVALIDARG;
    Post(WM_CLASS_OBJECT_READY, reinterpret_cast<WPARAM>(object), 0);
    return S_OK;
}

HRESULT CDownload::GetWindow(REFGUID, HWND* window) {
    if (!window) return E_POINTER;
    *window = OwnerJob ? OwnerJob->Handle() : nullptr;
    return S_OK;
}

}  // namespace kelvane
