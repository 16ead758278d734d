#include "tests/kit/kit_test_support.h"

#include <setupapi.h>

#include <cctype>

#include "tests/support/test_platform.h"

namespace kelvane::kit_test {

namespace {

struct Extraction {
    std::string folder;
    std::vector<std::string> names;
    bool failed = false;
};

UINT CALLBACK OnCabinetFile(PVOID context, UINT notification, UINT_PTR param1, UINT_PTR) {
    auto* extraction = static_cast<Extraction*>(context);
    switch (notification) {
    case SPFILENOTIFY_FILEINCABINET: {
        auto* info = reinterpret_cast<FILE_IN_CABINET_INFO_A*>(param1);
        std::string name = info->NameInCabinet;
        extraction->names.push_back(name);
        std::string target = extraction->folder + "\\" + name;
        // The kit stores bare file names; anything else must not be written
        // outside the scratch folder.
        if (name.find_first_of("\\/:") != std::string::npos || name == ".." || target.size() >= MAX_PATH) {
            extraction->failed = true;
            return FILEOP_ABORT;
        }
        ::lstrcpynA(info->FullTargetName, target.c_str(), MAX_PATH);
        return FILEOP_DOIT;
    }
    case SPFILENOTIFY_FILEEXTRACTED: {
        auto* paths = reinterpret_cast<FILEPATHS_A*>(param1);
        if (paths->Win32Error != NO_ERROR) extraction->failed = true;
        return NO_ERROR;
    }
    case SPFILENOTIFY_NEEDNEWCABINET:
        extraction->failed = true;
        return ERROR_FILE_NOT_FOUND;
    default:
        return NO_ERROR;
    }
}

}  // namespace

void PrintTo(const Row& row, std::ostream* out) { *out << "row " << row.index << " (" << row.cab << ")"; }

const std::vector<Row>& CatalogRows() {
    static const std::vector<Row> rows = [] {
        struct Text {
            const char* clsid;
            const char* cab;
            const char* module;
            const char* inf;
            const char* name;
        };
        const std::vector<Text> texts = {
#ifdef KIT_CATALOG_ROWS
#define KELVANE_ROW(clsid, cab, module, inf, name) {clsid, cab, module, inf, name},
#include KIT_CATALOG_ROWS
#undef KELVANE_ROW
#endif
        };
        std::vector<Row> result;
        for (const Text& t : texts)
            result.push_back({static_cast<int>(result.size()), t.clsid, t.cab, t.module, t.inf, t.name});
        return result;
    }();
    return rows;
}

std::vector<Row> RowsToCheck() {
    const std::vector<Row>& rows = CatalogRows();
    std::vector<bool> picked(rows.size(), false);
    auto pickFirst = [&](auto&& matches) {
        for (const Row& row : rows) {
            if (matches(row)) {
                picked[row.index] = true;
                return;
            }
        }
    };
    if (!rows.empty()) picked[0] = true;
    for (const Row& a : rows) {
        for (const Row& b : rows) {
            if (a.index < b.index && SameIgnoringCase(a.clsid, b.clsid)) picked[a.index] = picked[b.index] = true;
        }
    }
    pickFirst([](const Row& row) {
        return Stem(row.module) != Stem(row.cab) && SameIgnoringCase(Stem(row.module), Stem(row.cab));
    });
    pickFirst([](const Row& row) { return SameIgnoringCase(row.module.substr(row.module.rfind('.')), ".ocx"); });
    pickFirst([](const Row& row) { return row.clsid.find_first_of("abcdef") != std::string::npos; });

    std::vector<Row> result;
    for (const Row& row : rows) {
        if (picked[row.index]) result.push_back(row);
    }
    return result;
}

std::string KitCabfiles() { return test::BuildFile(KIT_CABFILES); }

std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

std::optional<std::vector<std::string>> ExtractCabinet(const std::string& cab, const std::string& folder) {
    Extraction extraction{folder, {}, false};
    if (!::SetupIterateCabinetA(cab.c_str(), 0, OnCabinetFile, &extraction) || extraction.failed) return std::nullopt;
    return extraction.names;
}

bool CopyInto(const std::string& file, const std::string& folder) {
    std::string name = file.substr(file.find_last_of("\\/") + 1);
    return ::CopyFileA(file.c_str(), (folder + "\\" + name).c_str(), FALSE) != 0;
}

ServerEntries EntriesOf(HMODULE module) {
    ServerEntries entries;
    if (!module) return entries;
    auto find = [module](const char* name) {
        return reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
    };
    entries.registerServer = reinterpret_cast<decltype(entries.registerServer)>(find("DllRegisterServer"));
    entries.unregisterServer = reinterpret_cast<decltype(entries.unregisterServer)>(find("DllUnregisterServer"));
    entries.getClassObject = reinterpret_cast<decltype(entries.getClassObject)>(find("DllGetClassObject"));
    entries.canUnloadNow = reinterpret_cast<decltype(entries.canUnloadNow)>(find("DllCanUnloadNow"));
    return entries;
}

std::optional<DWORD> RunChild(const std::string& commandLine, const std::string& folder) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                          &created))
        return std::nullopt;
    fw::unique_handle process(created.hProcess);
    fw::unique_handle thread(created.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.get(), &code)) return std::nullopt;
    return code;
}

}  // namespace kelvane::kit_test
