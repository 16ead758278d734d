// The engine's main paths with cabinets of real kit modules: placement,
// registration in the child, the records, the class object, the reports and
// their order, Abort, the answer at once for an installed component, and the
// conflict folder for a file in use.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>

#include "catalog/component_catalog.h"
#include "framework/strings.h"
#include "tests/engine/engine_test_support.h"

namespace kelvane::engine_test {
namespace {

const char kDistributionUnits[] = "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kModuleUsage[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";

// A module named unlike its cabinet, one differing in letter case only, an
// .ocx. The registration child writes the prefix's real classes root, so these
// are rows that no other test of the shared prefix installs (the program's own
// tests take rows 0, 3, 5, 12 and 91).
constexpr int kRealKitRows[] = {33, 37, 94};

std::wstring Fixture(const char* name) { return BuildPath(std::string(ENGINE_FIXTURES) + "/" + name + ".cab"); }

std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

class InstallTest : public OleTest {
protected:
    Scratch scratch;
    test::RedirectedKey machine{HKEY_LOCAL_MACHINE};
};

TEST_F(InstallTest, PlacesRegistersRecordsAndDeliversTheClassObject) {
    const std::string clsid = "{4DA95C32-8DE9-429C-840F-B7FABD7AB563}";
    ClassRegistration registration(clsid);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    std::wstring cab = Fixture("place");

    for (int round = 0; round < 2; ++round) {  // a second install counts its file no second time
        Attempt attempt = Install(engine, clsid, cab);
        ASSERT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS);
        EXPECT_FALSE(attempt.immediateObject);
        EXPECT_EQ(attempt.callback->stopResult, S_OK);
        ASSERT_TRUE(attempt.callback->object);
        auto factory = attempt.callback->object.query<IClassFactory>(IID_IClassFactory);
        EXPECT_TRUE(factory);

        const std::string placed = scratch.DownloadedControls() + "\\kvengplace.dll";
        EXPECT_TRUE(test::Exists(placed));
        EXPECT_TRUE(test::Exists(scratch.DownloadedControls() + "\\kvengplace.dll.inf"));
        EXPECT_EQ(registration.Server(), placed);
        EXPECT_TRUE(scratch.TempIsEmpty());

        const std::string unit = kDistributionUnits + clsid;
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, unit + "\\InstalledVersion", ""), ENGINE_KIT_VERSION);
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, unit + "\\DownloadInformation", "CODEBASE"), fw::Narrow(cab));
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, unit + "\\DownloadInformation", "INF"),
                  scratch.DownloadedControls() + "\\kvengplace.dll.inf");
        DWORD present = 0;
        fw::unique_hkey files;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (unit + "\\Contains\\Files").c_str(), 0, KEY_READ, files.put()),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegQueryValueExA(files.get(), placed.c_str(), nullptr, nullptr, nullptr, &present), ERROR_SUCCESS);

        // The names exactly as the cleanup builds them.
        DWORD count = 0;
        EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls,
                              scratch.windows + "\\Downloaded Program Files\\kvengplace.dll", count));
        EXPECT_EQ(count, 1u);
        const std::string usage = kModuleUsage + Slashed(scratch.windows) + "/Downloaded Program files/kvengplace.dll";
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, usage, ".Owner"), clsid);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, usage));
    }
}

TEST_F(InstallTest, WhatTheCallbackHandsOverWithTheBindInfoIsReleased) {
    const std::string clsid = "{4DA95C32-8DE9-429C-840F-B7FABD7AB563}";
    ClassRegistration registration(clsid);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    auto callback = fw::MakeComObject<RecordingCallback>();
    auto handedOver = fw::MakeComObject<RecordingCallback>();  // any object whose count can be read
    callback->bindInfo = [&](BINDINFO& info) {
        info.pUnk = handedOver.get();
        info.pUnk->AddRef();
        info.szExtraInfo = static_cast<LPWSTR>(::CoTaskMemAlloc(16));
    };
    fw::com_ptr<IBindCtx> context;
    ASSERT_EQ(engine.CreateBindContext(context.put()), S_OK);
    ASSERT_EQ(engine.RegisterCallback(context.get(), callback.get()), S_OK);
    fw::com_ptr<IUnknown> object;
    ASSERT_EQ(engine.GetClassObjectFromURL(ClsidOf(clsid), Fixture("place").c_str(), 0xFFFFFFFF, 0xFFFFFFFF, nullptr,
                                           context.get(), CLSCTX_INPROC_SERVER, IID_IClassFactory, object.put_void()),
              MK_S_ASYNCHRONOUS);
    ASSERT_TRUE(RunUntilStopped(*callback.get()));
    EXPECT_EQ(callback->stopResult, S_OK);
    EXPECT_TRUE(callback->object);

    handedOver->AddRef();
    EXPECT_EQ(handedOver->Release(), 1u) << "the engine kept the object the bind information named";
}

TEST_F(InstallTest, ReportsLikeTheSystemService) {
    const std::string clsid = "{CFD07BAD-CE17-4C36-8DDF-467ADE729FAF}";
    ClassRegistration registration(clsid);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    Attempt attempt = Install(engine, clsid, Fixture("progress"));

    ASSERT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS);
    EXPECT_FALSE(attempt.reportedInsideCall) << "the callback was called inside the request";
    const auto& events = attempt.callback->events;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().kind, Event::Start);
    EXPECT_TRUE(attempt.callback->binding);
    EXPECT_EQ(events[events.size() - 2].kind, Event::Object);
    EXPECT_EQ(events.back().kind, Event::Stop);
    EXPECT_EQ(attempt.callback->stops, 1);
    EXPECT_EQ(attempt.callback->stopResult, S_OK);

    const std::vector<ULONG> expected = {BINDSTATUS_FINDINGRESOURCE,          BINDSTATUS_BEGINDOWNLOADDATA,
                                         BINDSTATUS_MIMETYPEAVAILABLE,        BINDSTATUS_ENDDOWNLOADDATA,
                                         BINDSTATUS_BEGINDOWNLOADCOMPONENTS,  BINDSTATUS_INSTALLINGCOMPONENTS,
                                         BINDSTATUS_ENDDOWNLOADCOMPONENTS};
    EXPECT_EQ(attempt.callback->Statuses(), expected);
    for (size_t i = 1; i + 2 < events.size(); ++i) {
        EXPECT_EQ(events[i].kind, Event::Progress) << i;
        if (events[i].status == BINDSTATUS_MIMETYPEAVAILABLE) {
            EXPECT_NE(events[i].text, L"text/html");
        }
    }
}

struct AbortCase {
    const char* name;
    Event::Kind kind;
    ULONG status;
    bool placedBefore;  // files are in place when the abort comes
};

const AbortCase kAbortCases[] = {
    {"OnStartBinding", Event::Start, 0, false},
    {"FindingResource", Event::Progress, BINDSTATUS_FINDINGRESOURCE, false},
    {"BeginDownloadData", Event::Progress, BINDSTATUS_BEGINDOWNLOADDATA, false},
    {"MimeType", Event::Progress, BINDSTATUS_MIMETYPEAVAILABLE, false},
    {"EndDownloadData", Event::Progress, BINDSTATUS_ENDDOWNLOADDATA, false},
    {"BeginComponents", Event::Progress, BINDSTATUS_BEGINDOWNLOADCOMPONENTS, false},
    {"Installing", Event::Progress, BINDSTATUS_INSTALLINGCOMPONENTS, false},
    {"EndComponents", Event::Progress, BINDSTATUS_ENDDOWNLOADCOMPONENTS, true},
};

void PrintTo(const AbortCase& c, std::ostream* out) { *out << c.name; }

class AbortTest : public InstallTest, public testing::WithParamInterface<AbortCase> {};

TEST_P(AbortTest, StopsAtTheNextStepWithE_ABORT) {
    const AbortCase& c = GetParam();
    const std::string clsid = "{F8EA55FA-BE05-466E-A3C5-7A8A7CD9A5D7}";
    ClassRegistration registration(clsid);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    size_t abortedAt = 0;
    Attempt attempt = Install(engine, clsid, Fixture("abort"), 0xFFFFFFFF, 0xFFFFFFFF,
                              [&](RecordingCallback& callback, const Event& event) {
                                  if (abortedAt == 0 && event.kind == c.kind && event.status == c.status) {
                                      abortedAt = callback.events.size();
                                      EXPECT_EQ(callback.binding->Abort(), S_OK);
                                  }
                              });
    ASSERT_NE(abortedAt, 0u) << "the abort point never came";
    const auto& events = attempt.callback->events;
    EXPECT_EQ(events.size(), abortedAt + 1) << "reports after the abort";
    EXPECT_EQ(attempt.callback->stops, 1);
    EXPECT_EQ(attempt.callback->stopResult, E_ABORT);
    EXPECT_FALSE(attempt.callback->object);
    EXPECT_TRUE(scratch.TempIsEmpty());
    if (!c.placedBefore) {
        EXPECT_EQ(scratch.Files(), std::vector<std::string>{"canary.txt"});
    }
    // Over: a late abort changes nothing.
    EXPECT_EQ(attempt.callback->binding->Abort(), INET_E_RESULT_DISPATCHED);
}

INSTANTIATE_TEST_SUITE_P(Points, AbortTest, testing::ValuesIn(kAbortCases),
                         [](const testing::TestParamInfo<AbortCase>& info) { return std::string(info.param.name); });

TEST_F(InstallTest, AnInstalledComponentInASufficientVersionIsAnsweredAtOnce) {
    const std::string clsid = "{E86713BB-9878-46D7-A086-6E110270E435}";
    ClassRegistration registration(clsid);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    std::wstring cab = Fixture("present");
    ASSERT_EQ(Install(engine, clsid, cab).callback->stopResult, S_OK);

    struct VersionCase {
        DWORD ms, ls;
        bool atOnce;
    };
    const VersionCase cases[] = {
        {0x00010000, 0x0003001B, true},   // 1,0,3,27: the module's own
        {0x00010000, 0x00030000, true},   // older
        {0, 0, true},                     // any
        {0x00010000, 0x0003001C, false},  // 1,0,3,28: newer
        {0x00020000, 0, false},
        {0xFFFFFFFF, 0xFFFFFFFF, false},  // the catalog's: always install
    };
    for (const auto& c : cases) {
        Attempt attempt = Install(engine, clsid, cab, c.ms, c.ls);
        if (c.atOnce) {
            EXPECT_EQ(attempt.immediate, S_OK) << std::hex << c.ms << "," << c.ls;
            EXPECT_TRUE(attempt.immediateObject);
            EXPECT_TRUE(attempt.callback->events.empty()) << "no reports for an answer at once";
        } else {
            EXPECT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS) << std::hex << c.ms << "," << c.ls;
            EXPECT_FALSE(attempt.immediateObject);
            EXPECT_EQ(attempt.callback->stopResult, S_OK);
        }
    }
}

TEST_F(InstallTest, AFileInUseGoesToAConflictFolder) {
    const std::string clsid = "{EFDB5506-052C-4BD1-AE83-3BFF6A87F4F1}";
    ClassRegistration registration(clsid);
    test::MakeFolder(scratch.DownloadedControls());
    const std::string busy = scratch.DownloadedControls() + "\\kvengconflict.dll";
    test::WriteFile(busy, "an older copy, open in another program");
    fw::unique_file held(::CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());

    for (const char* folder : {"CONFLICT.1", "CONFLICT.2"}) {
        Attempt attempt = Install(engine, clsid, Fixture("conflict"));
        EXPECT_EQ(attempt.callback->stopResult, S_OK) << folder;
        EXPECT_TRUE(attempt.callback->object);
        const std::string placed = scratch.DownloadedControls() + "\\" + folder + "\\kvengconflict.dll";
        EXPECT_TRUE(test::Exists(placed)) << placed;
        EXPECT_EQ(registration.Server(), placed);
        DWORD count = 0;
        EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls, placed, count)) << placed;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kModuleUsage + Slashed(scratch.windows) +
                                                      "/Downloaded Program files/" + folder + "/kvengconflict.dll"));
    }
}

TEST_F(InstallTest, ACabinetWithoutInfInstallsItsOneModule) {
    const std::string clsid = "{FA5F3915-ACDA-4182-9C59-A5B683B66916}";
    ClassRegistration registration(clsid);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    // Given as a file: URL this time.
    wchar_t url[MAX_PATH * 3] = {};
    DWORD length = MAX_PATH * 3;
    ASSERT_EQ(::UrlCreateFromPathW(Fixture("noinf").c_str(), url, &length, 0), S_OK);
    Attempt attempt = Install(engine, clsid, url);

    EXPECT_EQ(attempt.callback->stopResult, S_OK);
    EXPECT_TRUE(attempt.callback->object);
    const std::string placed = scratch.DownloadedControls() + "\\kvengnoinf.ocx";
    EXPECT_EQ(registration.Server(), placed);
    const std::string unit = kDistributionUnits + clsid;
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, unit + "\\InstalledVersion", ""), ENGINE_KIT_VERSION);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, unit + "\\DownloadInformation", "CODEBASE"), fw::Narrow(url));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, unit + "\\DownloadInformation", "INF"), "");
}

TEST_F(InstallTest, TheInfChoosesFolderAndRegistrationOfEachFile) {
    const std::string clsid = "{9DDDCF72-6D3C-46A4-835F-1DCE44A37502}";
    const std::string unregistered = "{4FD029E0-1BA3-480E-A75B-EFEB0C05D53D}";
    ClassRegistration registration(clsid);
    ClassRegistration other(unregistered);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    Attempt attempt = Install(engine, clsid, Fixture("destinations"));

    EXPECT_EQ(attempt.callback->stopResult, S_OK);
    EXPECT_TRUE(attempt.callback->object);
    const std::string inWindows = scratch.windows + "\\kvengwin.dll";
    const std::string inSystem = scratch.system + "\\kvengsys.dll";
    EXPECT_TRUE(test::Exists(inWindows));
    EXPECT_TRUE(test::Exists(inSystem));
    EXPECT_FALSE(test::Exists(scratch.DownloadedControls() + "\\kvengnot.dll"));
    EXPECT_TRUE(test::Exists(scratch.DownloadedControls() + "\\kvengdest.inf"));
    EXPECT_EQ(registration.Server(), inWindows);
    EXPECT_EQ(other.Server(), "") << "RegisterServer=no was registered";
    // The version the INF gives for the requested class's file.
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kDistributionUnits + clsid + "\\InstalledVersion", ""), "2,5,0,1");
    for (const auto& file : {inWindows, inSystem}) {
        DWORD count = 0;
        EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls, file, count)) << file;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kModuleUsage + Slashed(file))) << file;
    }
}

TEST_F(InstallTest, TheSystemRegistrationToolServesWhereTheHostIsNot) {
    const std::string clsid = "{53124C36-3626-456A-AC55-DB070C054564}";
    ClassRegistration registration(clsid);
    EngineOptions options = scratch.Options();
    options.registrationHost = L"C:\\nowhere\\kvreghost.exe";
    CodeDownloadEngine engine(scratch.platform, options);
    Attempt attempt = Install(engine, clsid, Fixture("tool"));
    EXPECT_EQ(attempt.callback->stopResult, S_OK);
    EXPECT_TRUE(attempt.callback->object);
    EXPECT_EQ(registration.Server(), scratch.DownloadedControls() + "\\kvengtool.dll");
}

TEST_F(InstallTest, AttemptsAskedForTogetherRunOneAfterTheOther) {
    const std::string first = "{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E01}";
    const std::string second = "{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E02}";
    ClassRegistration one(first), two(second);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    Attempt a = Start(engine, first, Fixture("queue1"));
    Attempt b = Start(engine, second, Fixture("queue2"));
    ASSERT_EQ(a.immediate, MK_S_ASYNCHRONOUS);
    ASSERT_EQ(b.immediate, MK_S_ASYNCHRONOUS);
    ASSERT_TRUE(RunUntilStopped(*b.callback.get()));
    EXPECT_EQ(a.callback->stops, 1);
    EXPECT_EQ(a.callback->stopResult, S_OK);
    EXPECT_EQ(b.callback->stopResult, S_OK);
    EXPECT_TRUE(a.callback->object);
    EXPECT_TRUE(b.callback->object);
}

TEST_F(InstallTest, AnAttemptUnderWayEndsOnceWhenTheEngineGoes) {
    const std::string clsid = "{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E03}";
    ClassRegistration registration(clsid);
    Attempt attempt;
    {
        CodeDownloadEngine engine(scratch.platform, scratch.Options());
        attempt = Start(engine, clsid, Fixture("shutdown"));
        ASSERT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS);
        test::PumpMessages();
    }
    test::PumpMessages();
    EXPECT_EQ(attempt.callback->stops, 1);
    EXPECT_EQ(attempt.callback->stopResult, E_ABORT);
    EXPECT_TRUE(scratch.TempIsEmpty());
}

TEST_F(InstallTest, RequestsThatCannotStartFailAtOnce) {
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    CLSID id = ClsidOf("{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E09}");
    fw::com_ptr<IBindCtx> bare;
    ASSERT_EQ(::CreateBindCtx(0, bare.put()), S_OK);
    fw::com_ptr<IUnknown> object;
    const DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
    std::wstring cab = Fixture("place");
    EXPECT_EQ(engine.GetClassObjectFromURL(id, cab.c_str(), ~0u, ~0u, nullptr, bare.get(), context, IID_IClassFactory,
                                           nullptr),
              E_POINTER);
    EXPECT_EQ(engine.GetClassObjectFromURL(id, cab.c_str(), ~0u, ~0u, nullptr, bare.get(), context, IID_IClassFactory,
                                           object.put_void()),
              E_INVALIDARG)
        << "no callback registered";
    EXPECT_EQ(engine.GetClassObjectFromURL(id, cab.c_str(), ~0u, ~0u, nullptr, nullptr, context, IID_IClassFactory,
                                           object.put_void()),
              E_INVALIDARG);

    Attempt web = Start(engine, "{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E09}", L"http://localhost/x.cab");
    EXPECT_EQ(web.immediate, INET_E_UNKNOWN_PROTOCOL);
    Attempt empty = Start(engine, "{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E09}", L"");
    EXPECT_EQ(empty.immediate, INET_E_RESOURCE_NOT_FOUND);
    test::PumpMessages();
    EXPECT_TRUE(web.callback->events.empty());
    EXPECT_TRUE(empty.callback->events.empty());
}

// A cabinet that is not there ends without a lone "finding" report: the
// download job's callback takes two of them in a row, across attempts, for a
// search that loops, and would abort the retry.
TEST_F(InstallTest, AMissingCabinetFailsWithoutAFindingReport) {
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    Attempt attempt =
        Install(engine, "{6A1E3D1C-2B0F-4C11-9E0B-5D2C7A9F3E09}", fw::Widen(scratch.root / "absent.cab"));
    ASSERT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS);
    EXPECT_EQ(attempt.callback->stopResult, INET_E_RESOURCE_NOT_FOUND);
    EXPECT_TRUE(attempt.callback->Statuses().empty());
    EXPECT_EQ(attempt.callback->stops, 1);
}

TEST_F(InstallTest, RealKitRowsInstall) {
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    for (int index : kRealKitRows) {
        const CatalogRow& row = CatalogRows()[index];
        std::wstring cab = BuildPath(std::string(ENGINE_KIT_CABFILES) + "/" + row.CabName);
        ASSERT_TRUE(test::Exists(fw::Narrow(cab))) << fw::Narrow(cab);
        ClassRegistration registration(row.ClsidText);
        Attempt attempt = Install(engine, row.ClsidText, cab);
        EXPECT_EQ(attempt.callback->stopResult, S_OK) << row.CabName;
        EXPECT_TRUE(attempt.callback->object) << row.CabName;
        EXPECT_EQ(registration.Server(), scratch.DownloadedControls() + "\\" + row.ModuleName) << row.CabName;
    }
}

}  // namespace
}  // namespace kelvane::engine_test
