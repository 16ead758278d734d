// The built-in table of installable components and the check which of their
// cabinet files lie in the "cabfiles" folder beside the program.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "framework/platform.h"

namespace kelvane {

constexpr int CatalogRowCount = 98;

// One compiled-in row (catalog/catalog_rows.def).
struct CatalogRow {
    const char* ClsidText;
    const char* CabName;
    const char* ModuleName;
    const char* InfName;
    const char* ComponentName;
};

std::span<const CatalogRow, CatalogRowCount> CatalogRows();

struct ComponentEntry {
    std::string ClsidText;
    std::string CabPath;
    std::string VersionText;
    std::string CabName;
    std::string ModuleName;
    std::string InfName;
    std::string ComponentName;
    int32_t CabPresent = 0;
};

class ComponentCatalog {
public:
    ComponentCatalog();

    // Fills every row from the table and records which cabinets are present.
    // Returns 0, after telling the user, when the "cabfiles" folder is missing;
    // the catalog then stays empty.
    int32_t BuildCatalog(fw::Platform& platform, HWND owner);

    std::array<ComponentEntry, CatalogRowCount> Entries;
    std::array<int32_t, CatalogRowCount> Selected;
    // The chart control and its registration tool that the "QzC1Chart.cab" row needs.
    std::string ChartOcxPath;
    std::string ChartRegistrarPath;
};

// The running program's folder, without a trailing backslash; "" when its path has none.
std::string GetProgramFolder(fw::Platform& platform);

}  // namespace kelvane
