#include "download/download_service.h"

namespace kelvane {

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
    return ::RegisterBindStatusCallback(context, callback, nullptr, 0);
}

HRESULT UrlmonService::GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS,
                                             DWORD versionLS, LPCWSTR mimeType, IBindCtx* context,
                                             DWORD classContext, REFIID iid, void** object) {
    return ::CoGetClassObjectFromURL(clsid, codeLocation, versionMS, versionLS, mimeType, context,
                                     classContext, nullptr, iid, object);
}

}  // namespace kelvane
