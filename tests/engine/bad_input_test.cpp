// The bad-input corpus: every attempt fails with OnStopBinding(failure) and no
// object, nothing is written outside the unpack folder, which is gone
// afterwards, and the test process (the installer) is still up.
#include <gtest/gtest.h>

#include "tests/engine/engine_test_support.h"

namespace kelvane::engine_test {
namespace {

const char kAnyClsid[] = "{3482CDE1-25D1-483F-9039-967F4D896D31}";

struct BadCase {
    const char* cab;
    HRESULT expected;
    const char* clsid;  // the module's, for the registration faults
};

const HRESULT kBadName = HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
const HRESULT kCorrupt = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
const HRESULT kTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
const HRESULT kMissing = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

const BadCase kBadCases[] = {
    {"traversal", kBadName, kAnyClsid},
    {"traversal-slash", kBadName, kAnyClsid},
    {"absolute", kBadName, kAnyClsid},
    {"drive", kBadName, kAnyClsid},
    {"drive-relative", kBadName, kAnyClsid},
    {"unc", kBadName, kAnyClsid},
    {"device", kBadName, kAnyClsid},
    {"device-nul", kBadName, kAnyClsid},
    {"stream", kBadName, kAnyClsid},
    {"duplicate", kCorrupt, kAnyClsid},
    {"truncated", kCorrupt, kAnyClsid},
    {"corrupt", kCorrupt, kAnyClsid},
    {"not-a-cabinet", kCorrupt, kAnyClsid},
    {"bomb", kTooLarge, kAnyClsid},
    {"bomb-offset", kTooLarge, kAnyClsid},
    {"neither", kMissing, kAnyClsid},
    {"missing-file", kMissing, kAnyClsid},
    {"hooks", HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), kAnyClsid},
    {"crash", HRESULT_FROM_NT(0xC0000005), "{455A5FC9-FA48-4893-BF3F-90072E9F1D83}"},
    {"hang", HRESULT_FROM_WIN32(ERROR_TIMEOUT), "{262FD3BB-E418-4517-BBB7-079E8DA9E6B0}"},
    {"fail", E_FAIL, "{E3948F3A-BBCC-438F-8153-B4B229250E35}"},
};

void PrintTo(const BadCase& c, std::ostream* out) { *out << c.cab; }

std::wstring Corpus(const char* name) { return BuildPath(std::string(ENGINE_BADCABS) + "/" + name + ".cab"); }

class BadInputTest : public OleTest, public testing::WithParamInterface<BadCase> {};

TEST_P(BadInputTest, FailsCleanlyAndWritesNothingOutsideTheUnpackFolder) {
    const BadCase& c = GetParam();
    Scratch scratch;
    test::RedirectedKey machine(HKEY_LOCAL_MACHINE);
    ClassRegistration registration(c.clsid);
    {
        EngineOptions options = scratch.Options();
        options.registrationTimeoutMs = 5000;  // the hanging module waits this long
        CodeDownloadEngine engine(scratch.platform, options);
        Attempt attempt = Install(engine, c.clsid, Corpus(c.cab));

        EXPECT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS);
        EXPECT_FALSE(attempt.reportedInsideCall);
        const auto& events = attempt.callback->events;
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front().kind, Event::Start);
        EXPECT_EQ(attempt.callback->stops, 1);
        EXPECT_EQ(attempt.callback->stopResult, c.expected) << std::hex << attempt.callback->stopResult;
        EXPECT_EQ(events.back().kind, Event::Stop);
        EXPECT_FALSE(events.back().text.empty()) << "a failure says why";
        EXPECT_FALSE(attempt.callback->object);
        for (const auto& event : events) EXPECT_NE(event.kind, Event::Object);
    }

    EXPECT_EQ(scratch.Files(), std::vector<std::string>{"canary.txt"});
    EXPECT_TRUE(scratch.TempIsEmpty());
    EXPECT_FALSE(test::Exists(scratch.DownloadedControls()));
    for (const char* outside : {"C:\\kelvane-absolute.txt", "\\kelvane-absolute.txt", "C:\\kelvane-drive.txt",
                                "C:kelvane-drive.txt", "kelvane-drive.txt", "C:\\kelvane-unc.txt"})
        EXPECT_FALSE(test::Exists(outside)) << outside;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE,
                           std::string("SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") + c.clsid));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage"));
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInputTest, testing::ValuesIn(kBadCases),
                         [](const testing::TestParamInfo<BadCase>& info) {
                             std::string name = info.param.cab;
                             for (auto& ch : name) {
                                 if (ch == '-') ch = '_';
                             }
                             return name;
                         });

using AfterBadInputTest = OleTest;

// The registration child died with the module; the next module gets a new one.
TEST_F(AfterBadInputTest, TheNextComponentInstallsAfterACrashAndAHang) {
    const char kGood[] = "{DFC53DA6-55CF-4F50-9CEA-4F3CEFD37FC9}";
    Scratch scratch;
    test::RedirectedKey machine(HKEY_LOCAL_MACHINE);
    ClassRegistration good(kGood);
    EngineOptions options = scratch.Options();
    options.registrationTimeoutMs = 5000;
    CodeDownloadEngine engine(scratch.platform, options);
    for (const char* bad : {"crash", "hang"}) {
        Attempt failed = Install(engine, kAnyClsid, Corpus(bad));
        EXPECT_TRUE(FAILED(failed.callback->stopResult)) << bad;
    }
    Attempt attempt = Install(engine, kGood, BuildPath(std::string(ENGINE_FIXTURES) + "/after-crash.cab"));
    EXPECT_EQ(attempt.callback->stopResult, S_OK);
    EXPECT_TRUE(attempt.callback->object);
}

// An abort while a module hangs in its registration ends the attempt at once
// (E_ABORT, not the time bound's result), and the module's placement is undone.
TEST_F(AfterBadInputTest, AbortEndsAHangingRegistration) {
    Scratch scratch;
    test::RedirectedKey machine(HKEY_LOCAL_MACHINE);
    CodeDownloadEngine engine(scratch.platform, scratch.Options());
    bool installing = false;
    Attempt attempt = Start(engine, kAnyClsid, Corpus("hang"), 0xFFFFFFFF, 0xFFFFFFFF,
                            [&](RecordingCallback&, const Event& event) {
                                installing = installing || (event.kind == Event::Progress &&
                                                            event.status == BINDSTATUS_INSTALLINGCOMPONENTS);
                            });
    ASSERT_EQ(attempt.immediate, MK_S_ASYNCHRONOUS);
    ASSERT_TRUE(test::RunUntil([&] { return installing; }, 30000));
    // The module is in its DllRegisterServer by now, or soon; either way the abort must end it.
    test::PumpMessages();
    ::Sleep(200);
    ASSERT_TRUE(attempt.callback->binding);
    EXPECT_EQ(attempt.callback->binding->Abort(), S_OK);
    ASSERT_TRUE(RunUntilStopped(*attempt.callback.get()));
    EXPECT_EQ(attempt.callback->stopResult, E_ABORT);
    EXPECT_EQ(attempt.callback->stops, 1);
    EXPECT_EQ(scratch.Files(), std::vector<std::string>{"canary.txt"});
    EXPECT_TRUE(scratch.TempIsEmpty());
}

}  // namespace
}  // namespace kelvane::engine_test
