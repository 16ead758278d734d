// The chart control's registration tool stand-in, run as a real child
// process the way the installer runs it: from a working folder that holds
// the control, with the control's name (and "/u") on its command line.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/kit/kit_test_support.h"
#include "tests/support/test_platform.h"

namespace kelvane::kit_test {
namespace {

using test::ScratchFolder;

// Test modules of classes of their own, so that nothing else registering in
// the same wine prefix meets them; one per test, as tests run in parallel.
const std::string kRegisteredKey = std::string("CLSID\\") + KIT_TEST_CLSID;
const std::string kUsageKey = std::string("CLSID\\") + KIT_USAGE_CLSID;

std::string Quoted(const std::string& text) {
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    return quoted;
}

class Registrar : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CopyInto(KitCabfiles() + "\\c1regsvw.exe", scratch_.path()));
        for (const char* module : {KIT_TEST_MODULE, KIT_USAGE_MODULE, KIT_CRASH_MODULE, KIT_FAIL_MODULE})
            ASSERT_TRUE(CopyInto(test::BuildFile(module), scratch_.path()));
        test::MakeFolder(scratch_ / "sub dir");
        ASSERT_TRUE(CopyInto(test::BuildFile(KIT_TEST_MODULE), scratch_ / "sub dir"));
    }

    std::optional<DWORD> Run(const std::string& arguments) {
        std::string line = Quoted(scratch_ / "c1regsvw.exe");
        if (!arguments.empty()) line += " " + arguments;
        return RunChild(line, scratch_.path());
    }

    ScratchFolder scratch_;
};

TEST_F(Registrar, RegistersTheNamedControlAndUnregistersItWithU) {
    test::ClassRegistration registration(KIT_TEST_CLSID);
    registration.Remove();  // what an earlier run in this prefix may have left
    struct Case {
        std::string argument;
        std::string registeredPath;
    };
    const std::vector<Case> cases = {
        {"kvregtest.ocx", scratch_ / "kvregtest.ocx"},
        {"\"sub dir\\kvregtest.ocx\"", scratch_ / "sub dir\\kvregtest.ocx"},
        {Quoted(scratch_ / "sub dir\\kvregtest.ocx"), scratch_ / "sub dir\\kvregtest.ocx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.argument);
        EXPECT_EQ(Run(c.argument), 0u);
        EXPECT_EQ(registration.Server(), c.registeredPath);
        EXPECT_EQ(Run("/u " + c.argument), 0u);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kRegisteredKey));
    }
}

TEST_F(Registrar, FailsWithANonzeroCodeAndRegistersNothing) {
    test::ClassRegistration registration(KIT_USAGE_CLSID);
    registration.Remove();  // what an earlier run in this prefix may have left
    char system[MAX_PATH] = {};
    ::GetSystemDirectoryA(system, MAX_PATH);
    struct Case {
        std::string arguments;
        DWORD exitCode;
    };
    const std::vector<Case> cases = {
        {"", 1},
        {"/u", 1},
        {"kvusage.ocx kvusage.ocx", 1},
        {"/u kvusage.ocx kvusage.ocx", 1},
        {"missing.ocx", 2},
        // Not in the working folder: the DLL search path is not consulted.
        {"ole32.dll", 2},
        {Quoted(std::string(system) + "\\kernel32.dll"), 3},
        {"kvfail.dll", 4},
        // The tool ends with the exception code rather than waiting on a crash dialog.
        {"kvcrash.dll", static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        EXPECT_EQ(Run(c.arguments), c.exitCode);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kUsageKey));
    }
}

}  // namespace
}  // namespace kelvane::kit_test
