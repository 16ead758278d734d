// The code-download service as the download job sees it: the bind context,
// its options, the registration of the job's callback and the class-object
// request. UrlmonService forwards each call to urlmon; the built-in engine
// (download/engine) answers the class-object request itself where urlmon's
// code download is a stub; tests script the answers.
// urlmon is loaded from the system directory at its first use, so that a
// process whose requests go to the engine never maps it (and what it pulls in).
#pragma once

#include <windows.h>
#include <urlmon.h>

#include "framework/raii.h"

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

private:
    using RegisterBindStatusCallbackFn = HRESULT(WINAPI*)(IBindCtx*, IBindStatusCallback*, IBindStatusCallback**,
                                                          DWORD);
    using CoGetClassObjectFromURLFn = HRESULT(WINAPI*)(REFCLSID, LPCWSTR, DWORD, DWORD, LPCWSTR, IBindCtx*, DWORD,
                                                       void*, REFIID, void**);
    // The address of an urlmon export, or null (with the reason in GetLastError).
    void* Export(const char* name);

    fw::unique_hmodule urlmon_;
};

}  // namespace kelvane
