// What one cabinet asks to have installed: read from its INF file (the
// Internet Component Download form) or, without one, its single module.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "download/engine/cabinet.h"

namespace kelvane::engine {

enum class Destination { DownloadedControls, Windows, System };

struct PlannedFile {
    std::wstring name;    // plain file name, as placed
    std::wstring source;  // the unpacked copy
    Destination destination = Destination::DownloadedControls;
    bool registerServer = false;
    // RegisterServer was not stated: a module without DllRegisterServer is not an error.
    bool registrationOptional = false;
    std::wstring clsid;        // as the INF gives it, or ""
    std::wstring fileVersion;  // as the INF gives it, or ""
};

struct InstallPlan {
    std::vector<PlannedFile> files;
    std::wstring infName;    // "" without INF
    std::wstring infSource;  // its unpacked copy
};

struct PlanResult {
    HRESULT hr = E_FAIL;
    std::wstring detail;
    InstallPlan plan;
};

// Everything is checked before anything is placed, so an INF we cannot carry
// out completely fails the attempt without installing a part of it.
PlanResult PlanInstall(const std::vector<ExtractedFile>& files);

}  // namespace kelvane::engine
