#include "download/service_choice.h"

#include "download/engine/code_download_engine.h"

namespace kelvane {

ServiceKind ChooseService(bool codeDownloadIsStub) {
    return codeDownloadIsStub ? ServiceKind::BuiltInEngine : ServiceKind::Urlmon;
}

bool DetectCodeDownloadStub() {
    // Wine's urlmon answers every code-download request with E_NOINTERFACE and
    // does nothing else; Windows' urlmon implements it. So the fact is "this is
    // Wine", which Wine's ntdll tells by exporting wine_get_version. We do not
    // probe urlmon by calling it: on Windows a call that gets far enough starts
    // a real download, with its side effects and possibly its user interface,
    // and a call made to fail early proves nothing about the stub.
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::unique_ptr<DownloadService> MakeDownloadService(ServiceKind kind, fw::Platform& platform) {
    if (kind == ServiceKind::BuiltInEngine) return std::make_unique<CodeDownloadEngine>(platform);
    return std::make_unique<UrlmonService>();
}

std::unique_ptr<DownloadService> MakeDownloadService(fw::Platform& platform) {
    return MakeDownloadService(ChooseService(DetectCodeDownloadStub()), platform);
}

}  // namespace kelvane
