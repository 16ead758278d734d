// Building the catalog against real folders and files.
#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "catalog/component_catalog.h"
#include "framework/raii.h"
#include "tests/support/test_platform.h"

namespace kelvane {
namespace {

using test::ScratchFolder;
using test::TestPlatform;

const char kMissingFolderText[] =
    "\"cabfiles\" folder does not exist!\r\nCreate sub folder as \"cabfiles\", and copy cabinet files!";

// A real window to own the message box, so that the owner is seen to be passed on.
fw::unique_window MakeOwner() {
    return fw::unique_window(::CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                               ::GetModuleHandleA(nullptr), nullptr));
}

void ExpectEmpty(const ComponentCatalog& catalog) {
    for (int i = 0; i < CatalogRowCount; ++i) {
        const ComponentEntry& entry = catalog.Entries[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(entry.ClsidText, "");
        EXPECT_EQ(entry.CabPath, "");
        EXPECT_EQ(entry.VersionText, "");
        EXPECT_EQ(entry.CabName, "");
        EXPECT_EQ(entry.ModuleName, "");
        EXPECT_EQ(entry.InfName, "");
        EXPECT_EQ(entry.ComponentName, "");
        EXPECT_EQ(entry.CabPresent, 0);
        EXPECT_EQ(catalog.Selected[i], 1);
    }
    EXPECT_EQ(catalog.ChartOcxPath, "");
    EXPECT_EQ(catalog.ChartRegistrarPath, "");
}

void ExpectFilled(const ComponentCatalog& catalog, const std::string& cabFolder, const std::set<int>& present) {
    for (int i = 0; i < CatalogRowCount; ++i) {
        const ComponentEntry& entry = catalog.Entries[i];
        const CatalogRow& row = CatalogRows()[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(entry.ClsidText, row.ClsidText);
        EXPECT_EQ(entry.CabPath, cabFolder + "\\" + row.CabName);
        EXPECT_EQ(entry.VersionText, "-1,-1,-1,-1");
        EXPECT_EQ(entry.CabName, row.CabName);
        EXPECT_EQ(entry.ModuleName, row.ModuleName);
        EXPECT_EQ(entry.InfName, row.InfName);
        EXPECT_EQ(entry.ComponentName, row.ComponentName);
        EXPECT_EQ(entry.CabPresent, present.count(i) ? 1 : 0);
        EXPECT_EQ(catalog.Selected[i], 1);
    }
    EXPECT_EQ(catalog.ChartOcxPath, cabFolder + "\\olch2xu8.ocx");
    EXPECT_EQ(catalog.ChartRegistrarPath, cabFolder + "\\c1regsvw.exe");
}

// Goes back to the current directory it found.
class CurrentDirectoryScope {
public:
    explicit CurrentDirectoryScope(const std::string& path) {
        char previous[MAX_PATH] = {};
        ::GetCurrentDirectoryA(MAX_PATH, previous);
        previous_ = previous;
        ::SetCurrentDirectoryA(path.c_str());
    }
    CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
    CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;
    ~CurrentDirectoryScope() { ::SetCurrentDirectoryA(previous_.c_str()); }

private:
    std::string previous_;
};

TEST(BuildCatalog, MissingFolderTellsTheUserAndLeavesTheCatalogEmpty) {
    ScratchFolder program;
    // A "cabfiles" in the current directory is not the one beside the program.
    ScratchFolder elsewhere;
    test::MakeFolder(elsewhere / "cabfiles");
    test::WriteFile(elsewhere / "cabfiles\\QzCore.cab");
    CurrentDirectoryScope inElsewhere(elsewhere.path());

    TestPlatform platform;
    platform.modulePath = program / "Kelvane.exe";
    auto owner = MakeOwner();
    ASSERT_TRUE(owner);
    ComponentCatalog catalog;
    ExpectEmpty(catalog);

    EXPECT_EQ(catalog.BuildCatalog(platform, owner.get()), 0);

    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kMissingFolderText);
    EXPECT_EQ(platform.messages[0].caption, "Kelvane");
    EXPECT_EQ(platform.messages[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(platform.messages[0].owner, owner.get());
    ExpectEmpty(catalog);
}

struct Layout {
    const char* name;
    bool cabfilesIsFolder;
    std::vector<std::string> files;  // inside "cabfiles"
    std::set<int> present;
    bool everyFile = false;  // every cabinet and both chart companions as well
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

class BuildCatalogLayout : public testing::TestWithParam<Layout> {};

TEST_P(BuildCatalogLayout, FillsEveryRowAndFindsThePresentCabinets) {
    const Layout& layout = GetParam();
    ScratchFolder program;
    const std::string cabFolder = program / "cabfiles";
    if (layout.cabfilesIsFolder) {
        test::MakeFolder(cabFolder);
    } else {
        test::WriteFile(cabFolder, "not a folder");
    }
    std::vector<std::string> files = layout.files;
    std::set<int> present = layout.present;
    if (layout.everyFile) {
        for (const CatalogRow& row : CatalogRows()) files.push_back(row.CabName);
        files.insert(files.end(), {"olch2xu8.ocx", "c1regsvw.exe"});
        for (int i = 0; i < CatalogRowCount; ++i) present.insert(i);
    }
    for (const std::string& file : files) {
        test::WriteFile(cabFolder + "\\" + file, "MSCF");
        ASSERT_TRUE(test::Exists(cabFolder + "\\" + file)) << file;
    }

    TestPlatform platform;
    platform.modulePath = program / "Kelvane.exe";
    ComponentCatalog catalog;
    EXPECT_EQ(catalog.BuildCatalog(platform, nullptr), 1);

    EXPECT_TRUE(platform.messages.empty());
    ExpectFilled(catalog, cabFolder, present);
}

const Layout kLayouts[] = {
    {"EmptyFolder", true, {}, {}},
    {"PlainFileNamedCabfiles", false, {}, {}},
    {"ChartCabinetOnly", true, {"QzC1Chart.cab"}, {}},
    {"ChartCabinetAndControl", true, {"QzC1Chart.cab", "olch2xu8.ocx"}, {}},
    {"ChartCabinetAndTool", true, {"QzC1Chart.cab", "c1regsvw.exe"}, {}},
    {"ChartCompanionsWithoutCabinet", true, {"olch2xu8.ocx", "c1regsvw.exe"}, {}},
    {"ChartComplete", true, {"QzC1Chart.cab", "olch2xu8.ocx", "c1regsvw.exe"}, {73}},
    // Both cabinets of the pair that share a class identifier count; names that
    // are no row's cabinet (a module name, a stranger) count for nothing.
    {"SomeCabinets",
     true,
     {"QzCore.cab", "DrelkChart.cab", "QzPrintView.cab", "QzPrintViewU.cab", "QzRtfMiniChart.cab", "QzGrid.dll",
      "Unknown.cab"},
     {0, 2, 88, 89, 97}},
    // The file system ignores letter case, and so does the probe.
    {"CabinetInOtherLetterCase", true, {"qzgrid.CAB", "TESSIK.cab"}, {1, 91}},
    {"EveryCabinet", true, {}, {}, true},
};

INSTANTIATE_TEST_SUITE_P(Layouts, BuildCatalogLayout, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

// Deletes a folder at the end only when this test made it.
class MadeFolder {
public:
    explicit MadeFolder(const std::string& path) : path_(path), made_(::CreateDirectoryA(path.c_str(), nullptr)) {}
    MadeFolder(const MadeFolder&) = delete;
    MadeFolder& operator=(const MadeFolder&) = delete;
    ~MadeFolder() {
        if (made_) test::RemoveTree(path_);
    }
    bool made() const { return made_; }

private:
    std::string path_;
    bool made_;
};

TEST(BuildCatalog, ModulePathWithoutBackslashProbesTheRootOfTheCurrentDrive) {
    ScratchFolder current;
    CurrentDirectoryScope inCurrent(current.path());
    // Beside the current directory is not the root.
    test::MakeFolder(current / "cabfiles");

    TestPlatform platform;
    platform.modulePath = "Kelvane.exe";
    EXPECT_EQ(GetProgramFolder(platform), "");

    char rootFolder[MAX_PATH] = {};
    ASSERT_NE(::GetFullPathNameA("\\cabfiles", MAX_PATH, rootFolder, nullptr), 0u);
    if (test::Exists(rootFolder)) GTEST_SKIP() << rootFolder << " exists already";

    ComponentCatalog missing;
    EXPECT_EQ(missing.BuildCatalog(platform, nullptr), 0);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kMissingFolderText);
    EXPECT_EQ(platform.messages[0].caption, "Kelvane");

    MadeFolder root(rootFolder);
    if (!root.made()) GTEST_SKIP() << "cannot make " << rootFolder;
    test::WriteFile(std::string(rootFolder) + "\\QzGrid.cab");
    ComponentCatalog found;
    EXPECT_EQ(found.BuildCatalog(platform, nullptr), 1);
    EXPECT_EQ(platform.messages.size(), 1u);
    ExpectFilled(found, "\\cabfiles", {1});
}

}  // namespace
}  // namespace kelvane
