// Putting unpacked files in place, and the records the system's code-download
// service keeps of what it installed (which the cleanup pass later removes).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kelvane::engine {

// The folders of one install. The names are built exactly as the cleanup
// builds them, so its registry names match ours.
struct Folders {
    std::wstring windows;             // the Windows directory as the platform gives it
    std::wstring system;              // the system directory
    std::wstring downloadedControls;  // windows + "\Downloaded Program Files"
};
Folders FoldersFor(const std::wstring& windowsDirectory, const std::wstring& systemDirectory);

// Copies `source` to folder\name. When the file there is in use and cannot be
// replaced, the copy goes to the first "CONFLICT.n" subfolder of the
// downloaded-controls folder that has no file of that name.
HRESULT PlaceFile(const std::wstring& source, const std::wstring& folder, const std::wstring& name,
                  const std::wstring& downloadedControls, std::wstring& placed);

// SharedDLLs value name of a placed file: its full path.
std::wstring SharedDllName(const std::wstring& placed);
// ModuleUsage key name of a placed file: its path with forward slashes; below
// the downloaded-controls folder spelled "/Downloaded Program files/".
std::wstring ModuleUsageName(const Folders& folders, const std::wstring& placed);

struct InstallRecord {
    std::wstring clsid;             // "{...}"
    std::wstring codeBase;          // the code location as asked for
    std::wstring installedVersion;  // "a,b,c,d"
    std::wstring inf;               // placed INF, or ""
    std::vector<std::wstring> files;  // placed files, in install order
};

// Distribution unit, SharedDLLs counts and ModuleUsage owners under HKEY_LOCAL_MACHINE.
HRESULT WriteRecords(const Folders& folders, const InstallRecord& record);

}  // namespace kelvane::engine
