// The code-download service as the download job sees it: the bind context,
// its options, the registration of the job's callback and the class-object
// request. UrlmonService forwards each call to urlmon; the built-in engine
// (download/engine) answers the class-object request itself where urlmon's
// code download is a stub; tests script the answers.
#pragma once

#include <windows.h>
#include <urlmon.h>

namespace kelvane {

class DownloadService {
public:
    virtual ~DownloadService() = default;

    // CreateBindCtx(0, out).
    virtual HRESULT CreateBindContext(IBindCtx** context) = 0;
    // Reads the context's BIND_OPTS, adds `flags` to grfFlags, writes them back.
    virtual HRESULT AddBindFlags(IBindCtx* context, DWORD flags) = 0;
    // RegisterBindStatusCallback(context, callback, null, 0).
    virtual HRESULT RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) = 0;
    // CoGetClassObjectFromURL with the same arguments.
    virtual HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS,
                                          DWORD versionLS, LPCWSTR mimeType, IBindCtx* context,
                                          DWORD classContext, REFIID iid, void** object) = 0;
};

// The system's own service.
class UrlmonService : public DownloadService {
public:
    HRESULT CreateBindContext(IBindCtx** context) override;
    HRESULT AddBindFlags(IBindCtx* context, DWORD flags) override;
    HRESULT RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) override;
    HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS, DWORD versionLS,
                                  LPCWSTR mimeType, IBindCtx* context, DWORD classContext, REFIID iid,
                                  void** object) override;
};

}  // namespace kelvane
