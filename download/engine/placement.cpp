#include "download/engine/placement.h"

#include <objbase.h>
#include <shlwapi.h>

#include "download/engine/engine_util.h"
#include "framework/raii.h"

namespace kelvane::engine {

namespace {

const wchar_t kSharedDlls[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const wchar_t kModuleUsage[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
const wchar_t kDistributionUnits[] = L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";

bool IsInUse(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
           error == ERROR_USER_MAPPED_FILE;
}

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    LONG status = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

HRESULT CreateKey(HKEY parent, const std::wstring& path, fw::unique_hkey& key) {
    LONG status = ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                                    nullptr);
    return HRESULT_FROM_WIN32(status);
}

// The files an earlier install of the same unit recorded.
std::vector<std::wstring> RecordedFiles(const std::wstring& unitPath) {
    std::vector<std::wstring> names;
    fw::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (unitPath + L"\\Contains\\Files").c_str(), 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[1024] = {};
        DWORD length = 1024;
        if (::RegEnumValueW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

}  // namespace

Folders FoldersFor(const std::wstring& windowsDirectory, const std::wstring& systemDirectory) {
    return {windowsDirectory, systemDirectory, windowsDirectory + L"\\Downloaded Program Files"};
}

HRESULT PlaceFile(const std::wstring& source, const std::wstring& folder, const std::wstring& name,
                  const std::wstring& downloadedControls, std::wstring& placed) {
    std::wstring target = folder + L"\\" + name;
    if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
        placed = target;
        return S_OK;
    }
    DWORD error = ::GetLastError();
    if (IsInUse(error)) {
        // This process may still hold an earlier copy that nothing uses any more.
        ::CoFreeUnusedLibrariesEx(0, 0);
        if (::CopyFileW(source.c_str(), target.c_str(), FALSE)) {
            placed = target;
            return S_OK;
        }
        error = ::GetLastError();
    }
    if (!IsInUse(error)) return HRESULT_FROM_WIN32(error);
    for (int n = 1; n < 1000; ++n) {
        std::wstring conflict = downloadedControls + L"\\CONFLICT." + std::to_wstring(n);
        std::wstring candidate = conflict + L"\\" + name;
        if (::GetFileAttributesW(candidate.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        ::CreateDirectoryW(conflict.c_str(), nullptr);
        if (::CopyFileW(source.c_str(), candidate.c_str(), TRUE)) {
            placed = candidate;
            return S_OK;
        }
        if (!IsFolder(conflict)) return HRESULT_FROM_WIN32(::GetLastError());
    }
    return HRESULT_FROM_WIN32(error);
}

std::wstring SharedDllName(const std::wstring& placed) { return placed; }

std::wstring ModuleUsageName(const Folders& folders, const std::wstring& placed) {
    std::wstring prefix = folders.downloadedControls + L"\\";
    std::wstring name;
    if (placed.size() > prefix.size() && EqualsNoCase(placed.substr(0, prefix.size()), prefix)) {
        name = folders.windows + L"/Downloaded Program files/" + placed.substr(prefix.size());
    } else {
        name = placed;
    }
    for (auto& c : name) {
        if (c == L'\\') c = L'/';
    }
    return name;
}

HRESULT WriteRecords(const Folders& folders, const InstallRecord& record) {
    std::wstring unitPath = kDistributionUnits + record.clsid;
    std::vector<std::wstring> known = RecordedFiles(unitPath);

    // Each file counts one more user, unless this unit had already counted it.
    fw::unique_hkey shared;
    HRESULT hr = CreateKey(HKEY_LOCAL_MACHINE, kSharedDlls, shared);
    if (FAILED(hr)) return hr;
    for (const auto& file : record.files) {
        bool counted = false;
        for (const auto& name : known) counted = counted || EqualsNoCase(name, file);
        std::wstring valueName = SharedDllName(file);
        DWORD count = 0, type = 0, size = sizeof(count);
        if (::RegQueryValueExW(shared.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&count),
                               &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            count = 0;
        if (!counted || count == 0) ++count;
        LONG status = ::RegSetValueExW(shared.get(), valueName.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&count), sizeof(count));
        if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);

        fw::unique_hkey usage;
        hr = CreateKey(HKEY_LOCAL_MACHINE, kModuleUsage + ModuleUsageName(folders, file), usage);
        if (FAILED(hr)) return hr;
        wchar_t owner[64] = {};
        DWORD ownerSize = sizeof(owner) - sizeof(wchar_t);
        if (::RegQueryValueExW(usage.get(), L".Owner", nullptr, nullptr, reinterpret_cast<BYTE*>(owner),
                               &ownerSize) != ERROR_SUCCESS) {
            if (FAILED(hr = SetString(usage.get(), L".Owner", record.clsid))) return hr;
        }
        if (FAILED(hr = SetString(usage.get(), record.clsid.c_str(), L""))) return hr;
    }

    // The unit describes this install only.
    ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, unitPath.c_str());
    fw::unique_hkey unit, version, download, files;
    if (FAILED(hr = CreateKey(HKEY_LOCAL_MACHINE, unitPath, unit))) return hr;
    if (FAILED(hr = CreateKey(unit.get(), L"InstalledVersion", version))) return hr;
    if (FAILED(hr = SetString(version.get(), nullptr, record.installedVersion))) return hr;
    if (FAILED(hr = CreateKey(unit.get(), L"DownloadInformation", download))) return hr;
    if (FAILED(hr = SetString(download.get(), L"CODEBASE", record.codeBase))) return hr;
    if (!record.inf.empty() && FAILED(hr = SetString(download.get(), L"INF", record.inf))) return hr;
    if (FAILED(hr = CreateKey(unit.get(), L"Contains\\Files", files))) return hr;
    for (const auto& file : record.files) {
        if (FAILED(hr = SetString(files.get(), file.c_str(), L""))) return hr;
    }
    return S_OK;
}

}  // namespace kelvane::engine
