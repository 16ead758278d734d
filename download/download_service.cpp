#include "download/download_service.h"

#include <string>

namespace kelvane {
namespace {

HRESULT LastErrorResult() {
    DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

void* UrlmonService::Export(const char* name) {
    if (!urlmon_) {
        // By full path: a copy of urlmon beside the program must never be the one loaded.
        wchar_t system[MAX_PATH] = {};
        UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return nullptr;
        urlmon_.reset(::LoadLibraryW((std::wstring(system) + L"\\urlmon.dll").c_str()));
        if (!urlmon_) return nullptr;
    }
    return reinterpret_cast<void*>(::GetProcAddress(urlmon_.get(), name));
}

HRESULT UrlmonService::CreateBindContext(IBindCtx** context) { return ::CreateBindCtx(0, context); }

HRESULT UrlmonService::AddBindFlags(IBindCtx* context, DWORD flags) {
    if (!context) return E_POINTER;
    BIND_OPTS options{};
    options.cbStruct = sizeof(options);
    HRESULT hr = context->GetBindOptions(&options);
    if (FAILED(hr)) return hr;
    options.grfFlags |= flags;
    return context->SetBindOptions(&options);
}

HRESULT UrlmonService::RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) {
    auto registerCallback = reinterpret_cast<RegisterBindStatusCallbackFn>(Export("RegisterBindStatusCallback"));
    if (!registerCallback) return LastErrorResult();
    return registerCallback(context, callback, nullptr, 0);
}

HRESULT UrlmonService::GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS,
                                             DWORD versionLS, LPCWSTR mimeType, IBindCtx* context,
                                             DWORD classContext, REFIID iid, void** object) {
    auto getClassObject = reinterpret_cast<CoGetClassObjectFromURLFn>(Export("CoGetClassObjectFromURL"));
    if (!getClassObject) {
        if (object) *object = nullptr;
        return LastErrorResult();
    }
    return getClassObject(clsid, codeLocation, versionMS, versionLS, mimeType, context, classContext, nullptr, iid,
                          object);
}

}  // namespace kelvane
