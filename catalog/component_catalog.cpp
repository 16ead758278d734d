#include "catalog/component_catalog.h"

#include <string_view>

#include "framework/raii.h"
#include "framework/strings.h"

namespace kelvane {

namespace {

constexpr CatalogRow kRows[] = {
#define KELVANE_ROW(clsid, cab, module, inf, component) {clsid, cab, module, inf, component},
#include "catalog/catalog_rows.def"
#undef KELVANE_ROW
};
static_assert(std::size(kRows) == CatalogRowCount);

// The chart row counts as present only with both companion files beside its
// cabinet: installing it runs the registration tool on the control.
constexpr int kChartRow = 73;
static_assert(std::string_view(kRows[kChartRow].CabName) == "QzC1Chart.cab");

constexpr UINT kMissingFolderText = 130;

// True when a file or folder of exactly this name exists.
bool EntryExists(const std::string& path) {
    WIN32_FIND_DATAA data{};
    fw::unique_find search(::FindFirstFileA(path.c_str(), &data));
    return static_cast<bool>(search);
}

}  // namespace

std::span<const CatalogRow, CatalogRowCount> CatalogRows() { return std::span<const CatalogRow, CatalogRowCount>(kRows); }

ComponentCatalog::ComponentCatalog() { Selected.fill(1); }

int32_t ComponentCatalog::BuildCatalog(fw::Platform& platform, HWND owner) {
    const std::string cabFolder = GetProgramFolder(platform) + "\\cabfiles";
    if (!EntryExists(cabFolder)) {
        fw::ShowAppMessage(platform, owner, fw::LoadText(kMissingFolderText), MB_OK);
        return 0;
    }

    for (int i = 0; i < CatalogRowCount; ++i) {
        const CatalogRow& row = kRows[i];
        if (i == kChartRow) {
            ChartOcxPath = cabFolder + "\\olch2xu8.ocx";
            ChartRegistrarPath = cabFolder + "\\c1regsvw.exe";
        }
        ComponentEntry& entry = Entries[i];
        entry.ClsidText = row.ClsidText;
        entry.CabPath = cabFolder + "\\" + row.CabName;
        entry.VersionText = "-1,-1,-1,-1";
        entry.CabName = row.CabName;
        entry.ModuleName = row.ModuleName;
        entry.InfName = row.InfName;
        entry.ComponentName = row.ComponentName;
        bool present = EntryExists(entry.CabPath);
        if (i == kChartRow) present = present && EntryExists(ChartOcxPath) && EntryExists(ChartRegistrarPath);
        entry.CabPresent = present ? 1 : 0;
    }
    return 1;
}

std::string GetProgramFolder(fw::Platform& platform) { return fw::FolderOf(platform.ModulePath()); }

}  // namespace kelvane
