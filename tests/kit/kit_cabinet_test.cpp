// The kit's cabinet files folder as the installer and the code-download
// engine read it: names, cabinet contents and INF files, read with the
// system's cabinet library and SetupAPI.
#include <gtest/gtest.h>

#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/kit/kit_test_support.h"
#include "tests/support/test_platform.h"

namespace kelvane::kit_test {
namespace {

using test::ScratchFolder;

#ifdef _WIN64
const char kFileKey[] = "file-win32-x64";
#else
const char kFileKey[] = "file-win32-x86";
#endif

// The name a file has on disk, as the folder lists it.
std::string StoredName(const std::string& path) {
    WIN32_FIND_DATAA data{};
    fw::unique_find find(::FindFirstFileA(path.c_str(), &data));
    return find ? std::string(data.cFileName) : std::string();
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct InfCloser {
    using type = HINF;
    static type invalid() { return INVALID_HANDLE_VALUE; }
    static void close(type h) { ::SetupCloseInfFile(h); }
};
using unique_inf = fw::unique_resource<InfCloser>;

// The fields of the line with `key` in `section`; empty when there is no such line.
std::vector<std::string> Fields(HINF inf, const std::string& section, const std::string& key) {
    INFCONTEXT line{};
    std::vector<std::string> fields;
    if (!::SetupFindFirstLineA(inf, section.c_str(), key.c_str(), &line)) return fields;
    DWORD count = ::SetupGetFieldCount(&line);
    for (DWORD i = 1; i <= count; ++i) {
        char text[512] = {};
        if (!::SetupGetStringFieldA(&line, i, text, sizeof(text), nullptr)) text[0] = '\0';
        fields.push_back(text);
    }
    return fields;
}

// The key of every line of `section`, in order.
std::vector<std::string> Keys(HINF inf, const std::string& section) {
    std::vector<std::string> keys;
    INFCONTEXT line{};
    for (BOOL found = ::SetupFindFirstLineA(inf, section.c_str(), nullptr, &line); found;
         found = ::SetupFindNextLine(&line, &line)) {
        char key[512] = {};
        if (!::SetupGetStringFieldA(&line, 0, key, sizeof(key), nullptr)) key[0] = '\0';
        keys.push_back(key);
    }
    return keys;
}

TEST(KitFolder, HoldsEveryCatalogCabinetAndTheChartFilesUnderTheirExactNames) {
    const std::vector<Row>& rows = CatalogRows();
    ASSERT_FALSE(rows.empty()) << "the kit was built without catalog rows";
    std::string folder = KitCabfiles();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.index);
        EXPECT_EQ(StoredName(folder + "\\" + row.cab), row.cab);
    }
    EXPECT_EQ(StoredName(folder + "\\olch2xu8.ocx"), "olch2xu8.ocx");
    EXPECT_EQ(StoredName(folder + "\\c1regsvw.exe"), "c1regsvw.exe");
}

TEST(KitFolder, RowsSharingAModuleCarryTheSameFile) {
    const std::vector<Row>& rows = CatalogRows();
    for (const Row& a : rows) {
        for (const Row& b : rows) {
            if (a.index >= b.index || a.module != b.module) continue;
            SCOPED_TRACE(a.cab + " and " + b.cab);
            ScratchFolder first, second;
            ASSERT_TRUE(ExtractCabinet(KitCabfiles() + "\\" + a.cab, first.path()));
            ASSERT_TRUE(ExtractCabinet(KitCabfiles() + "\\" + b.cab, second.path()));
            std::string bytes = ReadAll(first / a.module);
            EXPECT_FALSE(bytes.empty());
            EXPECT_EQ(bytes, ReadAll(second / b.module));
        }
    }
}

class KitCabinet : public ::testing::TestWithParam<Row> {
protected:
    std::string Cabinet() const { return KitCabfiles() + "\\" + GetParam().cab; }
    ScratchFolder scratch_;
};

TEST_P(KitCabinet, HoldsExactlyItsInfAndItsModule) {
    const Row& row = GetParam();
    auto names = ExtractCabinet(Cabinet(), scratch_.path());
    ASSERT_TRUE(names) << "the cabinet library refused " << Cabinet();
    std::vector<std::string> sorted = *names;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> expected = {row.inf, row.module};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
}

TEST_P(KitCabinet, InfInstallsAndRegistersTheModuleAtTheKitVersion) {
    const Row& row = GetParam();
    ASSERT_TRUE(ExtractCabinet(Cabinet(), scratch_.path()));
    unique_inf inf(::SetupOpenInfFileA((scratch_ / row.inf).c_str(), nullptr, INF_STYLE_WIN4, nullptr));
    ASSERT_TRUE(inf) << "SetupAPI error " << ::GetLastError();

    EXPECT_EQ(Fields(inf.get(), "version", "signature"), std::vector<std::string>{"$CHICAGO$"});
    EXPECT_EQ(Fields(inf.get(), "version", "AdvancedINF"), std::vector<std::string>{"2.0"});
    EXPECT_EQ(Keys(inf.get(), "Add.Code"), std::vector<std::string>{row.module});
    EXPECT_EQ(Fields(inf.get(), "Add.Code", row.module), std::vector<std::string>{row.module});

    EXPECT_EQ(Keys(inf.get(), row.module),
              (std::vector<std::string>{kFileKey, "clsid", "FileVersion", "RegisterServer"}));
    EXPECT_EQ(Fields(inf.get(), row.module, kFileKey), std::vector<std::string>{"thiscab"});
    EXPECT_EQ(Fields(inf.get(), row.module, "clsid"), std::vector<std::string>{row.clsid});
    EXPECT_EQ(Fields(inf.get(), row.module, "FileVersion"), (std::vector<std::string>{"1", "0", "3", "27"}));
    EXPECT_EQ(Fields(inf.get(), row.module, "RegisterServer"), std::vector<std::string>{"yes"});

    // The engine compares the INF's version with the module's own.
    std::string module = scratch_ / row.module;
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(module.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoA(module.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(27, 3));
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return "row" + std::to_string(info.param.index); }

INSTANTIATE_TEST_SUITE_P(Rows, KitCabinet, ::testing::ValuesIn(RowsToCheck()), RowName);

}  // namespace
}  // namespace kelvane::kit_test
