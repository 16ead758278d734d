#include "download/engine/install_plan.h"

#include <setupapi.h>

#include "download/engine/engine_util.h"
#include "framework/raii.h"

namespace kelvane::engine {

namespace {

const HRESULT kUnsupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
const HRESULT kMissing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

struct InfTraits {
    using type = HINF;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { ::SetupCloseInfFile(h); }
};
using unique_inf = fw::unique_resource<InfTraits>;

#ifdef _WIN64
const wchar_t kOwnPlatformKey[] = L"file-win32-x64";
const wchar_t kOtherPlatformKey[] = L"file-win32-x86";
#else
const wchar_t kOwnPlatformKey[] = L"file-win32-x86";
const wchar_t kOtherPlatformKey[] = L"file-win32-x64";
#endif

std::wstring Field(INFCONTEXT& context, DWORD index) {
    DWORD needed = 0;
    if (!::SetupGetStringFieldW(&context, index, nullptr, 0, &needed) || needed == 0) return {};
    std::wstring text(needed, L'\0');
    if (!::SetupGetStringFieldW(&context, index, text.data(), needed, nullptr)) return {};
    text.resize(needed - 1);
    return text;
}

// A value of several fields ("FileVersion=1,0,3,27" holds four), as written.
std::wstring Fields(INFCONTEXT& context) {
    std::wstring text;
    DWORD count = ::SetupGetFieldCount(&context);
    for (DWORD index = 1; index <= count; ++index) {
        if (index > 1) text += L',';
        text += Field(context, index);
    }
    return text;
}

const ExtractedFile* FindEntry(const std::vector<ExtractedFile>& files, const std::wstring& name) {
    for (const auto& file : files) {
        if (EqualsNoCase(file.name, name)) return &file;
    }
    return nullptr;
}

bool IsModuleName(const std::wstring& name) {
    return EndsWithNoCase(name, L".dll") || EndsWithNoCase(name, L".ocx");
}

bool IsPlainName(const std::wstring& name) {
    return IsSafeEntryName(name) && name.find_first_of(L"\\/") == std::wstring::npos;
}

PlanResult Fail(HRESULT hr, std::wstring detail) {
    PlanResult result;
    result.hr = hr;
    result.detail = std::move(detail);
    return result;
}

// One per-file section of [Add.Code].
HRESULT ReadFileSection(HINF inf, const std::wstring& section, const std::vector<ExtractedFile>& files,
                        PlannedFile& planned, bool& ignored, std::wstring& detail) {
    INFCONTEXT line{};
    if (!::SetupFindFirstLineW(inf, section.c_str(), nullptr, &line)) {
        detail = L"the INF names the section [" + section + L"], which it does not have";
        return HRESULT_FROM_WIN32(ERROR_SECTION_NOT_FOUND);
    }
    std::wstring own, other, registerServer, destination;
    do {
        std::wstring key = Field(line, 0);
        std::wstring value = Field(line, 1);
        if (EqualsNoCase(key, kOwnPlatformKey)) {
            own = value;
        } else if (EqualsNoCase(key, kOtherPlatformKey)) {
            other = value;
        } else if (key.size() > 5 && EqualsNoCase(key.substr(0, 5), L"file-")) {
            // another platform's copy: not ours to take
        } else if (EqualsNoCase(key, L"clsid")) {
            planned.clsid = value;
        } else if (EqualsNoCase(key, L"FileVersion")) {
            planned.fileVersion = Fields(line);
        } else if (EqualsNoCase(key, L"RegisterServer")) {
            registerServer = value;
        } else if (EqualsNoCase(key, L"DestDir")) {
            destination = value;
        } else {
            detail = L"the INF's [" + section + L"] asks for \"" + key + L"\", which is not supported";
            return kUnsupported;
        }
    } while (::SetupFindNextLine(&line, &line));

    std::wstring location = !own.empty() ? own : other;
    ignored = EqualsNoCase(location, L"ignore");
    if (ignored) return S_OK;
    if (!location.empty() && !EqualsNoCase(location, L"thiscab")) {
        detail = L"the INF fetches " + planned.name + L" from " + location + L"; only files of the cabinet itself are supported";
        return kUnsupported;
    }
    const ExtractedFile* entry = FindEntry(files, planned.name);
    if (!entry) {
        detail = L"the INF names " + planned.name + L", which the cabinet does not hold";
        return kMissing;
    }
    planned.source = entry->path;

    if (destination.empty()) {
        planned.destination = Destination::DownloadedControls;
    } else if (destination == L"10") {
        planned.destination = Destination::Windows;
    } else if (destination == L"11") {
        planned.destination = Destination::System;
    } else {
        detail = L"the INF places " + planned.name + L" in folder " + destination + L", which is not supported";
        return kUnsupported;
    }

    if (registerServer.empty()) {
        planned.registerServer = IsModuleName(planned.name);
        planned.registrationOptional = true;
    } else if (EqualsNoCase(registerServer, L"yes")) {
        planned.registerServer = true;
    } else if (EqualsNoCase(registerServer, L"no")) {
        planned.registerServer = false;
    } else {
        detail = L"the INF's RegisterServer=" + registerServer + L" for " + planned.name + L" is neither yes nor no";
        return kUnsupported;
    }
    return S_OK;
}

PlanResult PlanFromInf(const ExtractedFile& infEntry, const std::vector<ExtractedFile>& files) {
    UINT errorLine = 0;
    unique_inf inf(::SetupOpenInfFileW(infEntry.path.c_str(), nullptr, INF_STYLE_WIN4, &errorLine));
    if (!inf) {
        DWORD error = ::GetLastError();
        return Fail(error ? HRESULT_FROM_WIN32(error) : E_FAIL,
                    L"the INF " + infEntry.name + L" cannot be read (line " + std::to_wstring(errorLine) + L")");
    }

    // [Add.Code] first: it says which further sections belong to us.
    PlanResult result;
    result.plan.infName = infEntry.name;
    result.plan.infSource = infEntry.path;
    std::vector<std::wstring> fileSections;
    INFCONTEXT line{};
    if (!::SetupFindFirstLineW(inf.get(), L"Add.Code", nullptr, &line))
        return Fail(kUnsupported, L"the INF " + infEntry.name + L" has no [Add.Code] section");
    do {
        PlannedFile planned;
        planned.name = Field(line, 0);
        std::wstring section = Field(line, 1);
        if (section.empty()) section = planned.name;
        if (!IsPlainName(planned.name))
            return Fail(HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME),
                        L"the INF names the file \"" + planned.name + L"\", which is not a plain file name");
        for (const auto& other : result.plan.files) {
            if (EqualsNoCase(other.name, planned.name))
                return Fail(kUnsupported, L"the INF lists " + planned.name + L" twice");
        }
        bool ignored = false;
        HRESULT hr = ReadFileSection(inf.get(), section, files, planned, ignored, result.detail);
        if (FAILED(hr)) {
            result.hr = hr;
            return result;
        }
        fileSections.push_back(section);
        if (!ignored) result.plan.files.push_back(std::move(planned));
    } while (::SetupFindNextLine(&line, &line));

    // Any other section would be an instruction we do not carry out ([Setup
    // Hooks] runs programs, for one); installing the rest would be half an install.
    for (UINT index = 0;; ++index) {
        // SetupAPI refuses INF files with longer section names.
        wchar_t name[256] = {};
        if (!::SetupEnumInfSectionsW(inf.get(), index, name, 256, nullptr)) {
            if (::GetLastError() == ERROR_NO_MORE_ITEMS) break;
            // A section that cannot be listed cannot be checked either.
            return Fail(kUnsupported, L"the sections of the INF " + infEntry.name + L" cannot be listed");
        }
        bool known = EqualsNoCase(name, L"version") || EqualsNoCase(name, L"Add.Code") ||
                     EqualsNoCase(name, L"Strings");
        for (const auto& section : fileSections) known = known || EqualsNoCase(name, section);
        if (!known)
            return Fail(kUnsupported, L"the INF " + infEntry.name + L" has a section [" + std::wstring(name) +
                                          L"], which is not supported");
    }

    if (result.plan.files.empty()) return Fail(kMissing, L"the INF " + infEntry.name + L" installs no file");
    result.hr = S_OK;
    return result;
}

}  // namespace

PlanResult PlanInstall(const std::vector<ExtractedFile>& files) {
    const ExtractedFile* inf = nullptr;
    const ExtractedFile* module = nullptr;
    int infs = 0, modules = 0;
    for (const auto& file : files) {
        if (file.name.find(L'\\') != std::wstring::npos) continue;
        if (EndsWithNoCase(file.name, L".inf")) {
            inf = &file;
            ++infs;
        } else if (IsModuleName(file.name)) {
            module = &file;
            ++modules;
        }
    }
    if (infs > 1) return Fail(kUnsupported, L"the cabinet holds more than one INF file");
    if (inf) return PlanFromInf(*inf, files);
    if (modules == 0) return Fail(kMissing, L"the cabinet holds neither an INF file nor a module");
    if (modules > 1) return Fail(kUnsupported, L"the cabinet holds several modules and no INF file to name them");
    PlanResult result;
    PlannedFile planned;
    planned.name = module->name;
    planned.source = module->path;
    planned.registerServer = true;
    result.plan.files.push_back(std::move(planned));
    result.hr = S_OK;
    return result;
}

}  // namespace kelvane::engine
