// Which code-download service the download job uses: the system's (urlmon)
// where it implements code download, our own engine where it is a stub.
#pragma once

#include <memory>

#include "download/download_service.h"
#include "framework/platform.h"

namespace kelvane {

enum class ServiceKind { Urlmon, BuiltInEngine };

// The decision, from the detected fact alone.
ServiceKind ChooseService(bool codeDownloadIsStub);

// Whether urlmon's CoGetClassObjectFromURL on this system is a stub.
bool DetectCodeDownloadStub();

// The service for this system.
std::unique_ptr<DownloadService> MakeDownloadService(fw::Platform& platform);
std::unique_ptr<DownloadService> MakeDownloadService(ServiceKind kind, fw::Platform& platform);

}  // namespace kelvane
