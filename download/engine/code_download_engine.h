// The code-download service of our own, for platforms whose urlmon has only a
// stub of it. It answers the class-object request as the system service does:
// S_OK with the class object when the component is already there in a
// sufficient version, MK_S_ASYNCHRONOUS when it goes to work, another code for
// an immediate failure. The work then runs step by step on the caller's thread,
// driven by messages to a hidden window of the engine, and is reported to the
// callback registered on the bind context: OnStartBinding, progress, the class
// object, and OnStopBinding once.
//
// What it installs from a local cabinet: the files its INF names (or its one
// module), placed in the Windows directory's "Downloaded Program Files" (or
// the Windows or system directory when the INF says so), registered through
// DllRegisterServer in a child process, recorded in the code store database,
// SharedDLLs and ModuleUsage.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "download/download_service.h"
#include "framework/platform.h"

namespace kelvane {

struct EngineOptions {
    // The registration host; "" = kvreghost.exe beside the running program.
    // When it cannot be found the system's regsvr32.exe runs for each module.
    std::wstring registrationHost;
    bool useSystemRegistrar = false;  // regsvr32.exe even where the host is there
    DWORD registrationTimeoutMs = 15000;
    // A cabinet that unpacks to more than this, or holds more entries, is refused.
    std::uint64_t maxUnpackedBytes = 64ull << 20;
    std::uint32_t maxEntries = 1024;
    // Where the private unpack folders are made; "" = the user's temporary folder.
    std::wstring tempRoot;
};

class CodeDownloadEngine : public UrlmonService {
public:
    explicit CodeDownloadEngine(fw::Platform& platform, EngineOptions options = {});
    CodeDownloadEngine(const CodeDownloadEngine&) = delete;
    CodeDownloadEngine& operator=(const CodeDownloadEngine&) = delete;
    // Attempts still under way end with OnStopBinding(E_ABORT).
    ~CodeDownloadEngine() override;

    // Kept in the context where the class-object request looks for it, under
    // the name urlmon uses, without loading urlmon.
    HRESULT RegisterCallback(IBindCtx* context, IBindStatusCallback* callback) override;

    HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeLocation, DWORD versionMS, DWORD versionLS,
                                  LPCWSTR mimeType, IBindCtx* context, DWORD classContext, REFIID iid,
                                  void** object) override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace kelvane
