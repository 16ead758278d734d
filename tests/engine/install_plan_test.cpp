// What the engine makes of a cabinet's INF file (or of a cabinet without one)
// before it places anything.
#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include "download/engine/install_plan.h"
#include "tests/support/test_platform.h"

namespace kelvane::engine {
namespace {

const HRESULT kUnsupported = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
const HRESULT kMissing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

#ifdef _WIN64
#define OWN_KEY "file-win32-x64"
#define OTHER_KEY "file-win32-x86"
#else
#define OWN_KEY "file-win32-x86"
#define OTHER_KEY "file-win32-x64"
#endif

#define HEAD "[version]\r\nsignature=\"$CHICAGO$\"\r\nAdvancedINF=2.0\r\n\r\n[Add.Code]\r\nA.dll=A.dll\r\n\r\n[A.dll]\r\n"

struct PlanCase {
    const char* name;
    const char* inf;            // "" = no INF in the cabinet
    const char* others;         // further entries, separated by '|'
    HRESULT expected;
    Destination destination = Destination::DownloadedControls;
    bool registerServer = true;
    bool optional = false;
    const char* fileVersion = "";
};

const PlanCase kCases[] = {
    {"KitForm", HEAD OWN_KEY "=thiscab\r\nclsid={4DA95C32-8DE9-429C-840F-B7FABD7AB563}\r\nFileVersion=1,0,3,27\r\nRegisterServer=yes\r\n",
     "A.dll", S_OK, Destination::DownloadedControls, true, false, "1,0,3,27"},
    {"WindowsFolder", HEAD OWN_KEY "=thiscab\r\nDestDir=10\r\nRegisterServer=yes\r\n", "A.dll", S_OK, Destination::Windows},
    {"SystemFolder", HEAD OWN_KEY "=thiscab\r\nDestDir=11\r\nRegisterServer=no\r\n", "A.dll", S_OK, Destination::System, false},
    {"OtherFolder", HEAD OWN_KEY "=thiscab\r\nDestDir=12\r\n", "A.dll", kUnsupported},
    {"RegistrationNotStated", HEAD OWN_KEY "=thiscab\r\n", "A.dll", S_OK, Destination::DownloadedControls, true, true},
    {"RegistrationNeitherYesNorNo", HEAD OWN_KEY "=thiscab\r\nRegisterServer=maybe\r\n", "A.dll", kUnsupported},
    {"OtherPlatformKeyOnly", HEAD OTHER_KEY "=thiscab\r\nRegisterServer=yes\r\n", "A.dll", S_OK},
    {"NoPlatformKey", HEAD "RegisterServer=yes\r\n", "A.dll", S_OK},
    {"FetchedFromElsewhere", HEAD OWN_KEY "=http://localhost/A.cab\r\n", "A.dll", kUnsupported},
    {"OnlyIgnoredFiles", HEAD OWN_KEY "=ignore\r\n", "A.dll", kMissing},
    {"UnknownKey", HEAD OWN_KEY "=thiscab\r\nhook=run\r\n", "A.dll", kUnsupported},
    {"SetupHooks", HEAD OWN_KEY "=thiscab\r\n\r\n[Setup Hooks]\r\nhook1=hook1\r\n\r\n[hook1]\r\nrun=setup.exe\r\n", "A.dll", kUnsupported},
    {"DefaultInstall", HEAD OWN_KEY "=thiscab\r\n\r\n[DefaultInstall]\r\nCopyFiles=x\r\n", "A.dll", kUnsupported},
    {"StringsAreFine", HEAD OWN_KEY "=thiscab\r\nFileVersion=%Version%\r\n\r\n[Strings]\r\nVersion=\"2,0,0,1\"\r\n", "A.dll", S_OK,
     Destination::DownloadedControls, true, true, "2,0,0,1"},
    {"NamedFileMissing", HEAD OWN_KEY "=thiscab\r\n", "B.dll", kMissing},
    {"FileSectionMissing", "[version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[Add.Code]\r\nA.dll=Elsewhere\r\n", "A.dll",
     HRESULT_FROM_WIN32(ERROR_SECTION_NOT_FOUND)},
    {"NoAddCode", "[version]\r\nsignature=\"$CHICAGO$\"\r\n", "A.dll", kUnsupported},
    {"PathInAddCode", "[version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n[Add.Code]\r\n..\\A.dll=A\r\n\r\n[A]\r\n" OWN_KEY "=thiscab\r\n",
     "A.dll", HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME)},
    {"TwoInfs", HEAD OWN_KEY "=thiscab\r\n", "A.dll|second.inf", kUnsupported},
    {"NoInfOneModule", "", "A.dll|readme.txt", S_OK},
    {"NoInfTwoModules", "", "A.dll|B.ocx", kUnsupported},
    {"NoInfNoModule", "", "readme.txt", kMissing},
};

void PrintTo(const PlanCase& c, std::ostream* out) { *out << c.name; }

class InstallPlanTest : public testing::TestWithParam<PlanCase> {};

TEST_P(InstallPlanTest, ReadsWhatTheCabinetAsksFor) {
    const PlanCase& c = GetParam();
    test::ScratchFolder folder;
    std::vector<ExtractedFile> files;
    auto add = [&](const std::string& name, const std::string& content) {
        std::string path = folder / name;
        test::WriteFile(path, content);
        files.push_back({std::wstring(name.begin(), name.end()), std::wstring(path.begin(), path.end())});
    };
    if (*c.inf) add("setup.inf", c.inf);
    std::string others = c.others;
    for (size_t start = 0; start <= others.size();) {
        size_t bar = others.find('|', start);
        std::string name = others.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        add(name, name.size() > 4 && name.substr(name.size() - 4) == ".inf" ? "[version]\r\nsignature=\"$CHICAGO$\"\r\n"
                                                                            : "content");
        if (bar == std::string::npos) break;
        start = bar + 1;
    }

    PlanResult result = PlanInstall(files);
    EXPECT_EQ(result.hr, c.expected) << std::hex << result.hr;
    if (FAILED(c.expected)) {
        EXPECT_FALSE(result.detail.empty()) << "a refusal says why";
        return;
    }
    ASSERT_EQ(result.plan.files.size(), 1u);
    const PlannedFile& file = result.plan.files.front();
    EXPECT_EQ(file.name, L"A.dll");
    EXPECT_EQ(file.destination, c.destination);
    EXPECT_EQ(file.registerServer, c.registerServer);
    EXPECT_EQ(file.registrationOptional, c.optional);
    EXPECT_EQ(file.fileVersion, std::wstring(c.fileVersion, c.fileVersion + strlen(c.fileVersion)));
    EXPECT_EQ(result.plan.infName, *c.inf ? L"setup.inf" : L"");
}

INSTANTIATE_TEST_SUITE_P(Infs, InstallPlanTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvane::engine
