// Kit modules as in-process COM servers, loaded into this process:
// registration into a redirected classes root, unregistration, and class
// objects that create instances.
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "framework/raii.h"
#include "tests/kit/kit_test_support.h"
#include "tests/support/test_platform.h"

namespace kelvane::kit_test {
namespace {

using test::ScratchFolder;

struct ModuleCase {
    std::string label;
    std::string cab;  // "" = the module lies in the cabinet files folder itself
    std::string module;
    std::string clsid;
    std::string name;
};

void PrintTo(const ModuleCase& c, std::ostream* out) { *out << c.label << " (" << c.module << ")"; }

std::vector<ModuleCase> ModuleCases() {
    std::vector<ModuleCase> cases;
    for (const Row& row : RowsToCheck())
        cases.push_back({"row" + std::to_string(row.index), row.cab, row.module, row.clsid, row.name});
    cases.push_back({"chart", "", "olch2xu8.ocx", KIT_CHART_CLSID, "olch2xu8"});
    return cases;
}

std::string ClassKey(const std::string& clsid) { return "CLSID\\" + clsid; }

std::string LoadedPath(HMODULE module) {
    char path[MAX_PATH * 2] = {};
    ::GetModuleFileNameA(module, path, sizeof(path));
    return path;
}

// Puts the case's module into `folder`: out of its cabinet, or copied.
bool PlaceModule(const ModuleCase& c, const std::string& folder) {
    if (c.cab.empty()) return CopyInto(KitCabfiles() + "\\" + c.module, folder);
    return ExtractCabinet(KitCabfiles() + "\\" + c.cab, folder).has_value();
}

class KitModule : public ::testing::TestWithParam<ModuleCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(PlaceModule(GetParam(), scratch_.path()));
        path_ = scratch_ / GetParam().module;
        module_.reset(::LoadLibraryA(path_.c_str()));
        ASSERT_TRUE(module_) << path_ << ": error " << ::GetLastError();
        entries_ = EntriesOf(module_.get());
        ASSERT_TRUE(entries_.complete());
    }

    // Declared first: the module is unloaded before its folder goes.
    ScratchFolder scratch_;
    std::string path_;
    fw::unique_hmodule module_;
    ServerEntries entries_;
};

TEST_P(KitModule, RegistersItsClassAndUnregistersIt) {
    const ModuleCase& c = GetParam();
    test::RedirectedKey root(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(root.active());
    std::string key = ClassKey(c.clsid);

    // A second registration over the first must succeed as well.
    ASSERT_EQ(entries_.registerServer(), S_OK);
    ASSERT_EQ(entries_.registerServer(), S_OK);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key, ""), c.name);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", ""), LoadedPath(module_.get()));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + "\\InprocServer32", "ThreadingModel"), "Apartment");
    // Written through the classes root, so it landed in the scratch key.
    EXPECT_TRUE(KeyExists(root.scratch(), key + "\\InprocServer32"));

    // Only the class's own key goes, not the classes beside it.
    const std::string neighbour = ClassKey("{6B0F2A51-3C1D-4E8F-9A7B-1D2C3E4F5A6B}") + "\\InprocServer32";
    fw::unique_hkey created;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, neighbour.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                created.put(), nullptr),
              ERROR_SUCCESS);
    created.reset();

    EXPECT_EQ(entries_.unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, neighbour));
    // Unregistering what is not registered leaves nothing to do.
    EXPECT_EQ(entries_.unregisterServer(), S_OK);
}

TEST_P(KitModule, ClassObjectCreatesInstancesAndKeepsTheModuleWhileInUse) {
    CLSID clsid = test::ClsidOf(GetParam().clsid);
    {
        fw::com_ptr<IClassFactory> factory;
        ASSERT_EQ(entries_.getClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK);
        ASSERT_TRUE(factory);
        EXPECT_EQ(entries_.canUnloadNow(), S_FALSE);

        fw::com_ptr<IUnknown> object;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.put_void()), S_OK);
        ASSERT_TRUE(object);
        fw::com_ptr<IUnknown> same = object.query<IUnknown>(IID_IUnknown);
        EXPECT_EQ(same.get(), object.get());
        fw::com_ptr<IClassFactory> notOffered;
        EXPECT_EQ(object->QueryInterface(IID_IClassFactory, notOffered.put_void()), E_NOINTERFACE);
        EXPECT_FALSE(notOffered);

        // An interface the object lacks gives nothing and leaves no object alive.
        fw::com_ptr<IDispatch> dispatch;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, dispatch.put_void()), E_NOINTERFACE);
        EXPECT_FALSE(dispatch);
        fw::com_ptr<IUnknown> aggregated;
        EXPECT_EQ(factory->CreateInstance(object.get(), IID_IUnknown, aggregated.put_void()), CLASS_E_NOAGGREGATION);
        EXPECT_FALSE(aggregated);

        factory.reset();
        EXPECT_EQ(entries_.canUnloadNow(), S_FALSE) << "an instance is still alive";
        ASSERT_EQ(entries_.getClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK);
        EXPECT_EQ(factory->LockServer(TRUE), S_OK);
        factory.reset();
        object.reset();
        same.reset();
        EXPECT_EQ(entries_.canUnloadNow(), S_FALSE) << "the server is locked";
        fw::com_ptr<IUnknown> plain;
        ASSERT_EQ(entries_.getClassObject(clsid, IID_IUnknown, plain.put_void()), S_OK);
        factory = plain.query<IClassFactory>(IID_IClassFactory);
        ASSERT_TRUE(factory);
        EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    }
    EXPECT_EQ(entries_.canUnloadNow(), S_OK);
}

TEST_P(KitModule, ClassObjectIsOnlyForItsOwnClass) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(entries_.getClassObject(IID_IUnknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(entries_.getClassObject(test::ClsidOf(GetParam().clsid), IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(entries_.canUnloadNow(), S_OK);
}

std::string CaseName(const ::testing::TestParamInfo<ModuleCase>& info) { return info.param.label; }

INSTANTIATE_TEST_SUITE_P(Kit, KitModule, ::testing::ValuesIn(ModuleCases()), CaseName);

// Two modules that register one class identifier: each registration takes
// the class over, and unregistering a module leaves the other's registration.
TEST(KitSharedClass, UnregisteringOneModuleKeepsTheOthersRegistration) {
    const std::vector<Row>& rows = CatalogRows();
    int pairs = 0;
    for (const Row& a : rows) {
        for (const Row& b : rows) {
            if (a.index >= b.index || a.module == b.module || !SameIgnoringCase(a.clsid, b.clsid)) continue;
            ++pairs;
            SCOPED_TRACE(a.cab + " and " + b.cab);
            ScratchFolder scratch;
            ASSERT_TRUE(ExtractCabinet(KitCabfiles() + "\\" + a.cab, scratch.path()));
            ASSERT_TRUE(ExtractCabinet(KitCabfiles() + "\\" + b.cab, scratch.path()));
            fw::unique_hmodule first(::LoadLibraryA((scratch / a.module).c_str()));
            fw::unique_hmodule second(::LoadLibraryA((scratch / b.module).c_str()));
            ASSERT_TRUE(first && second);
            ServerEntries one = EntriesOf(first.get()), other = EntriesOf(second.get());
            ASSERT_TRUE(one.complete() && other.complete());

            test::RedirectedKey root(HKEY_CLASSES_ROOT);
            ASSERT_TRUE(root.active());
            std::string server = ClassKey(a.clsid) + "\\InprocServer32";
            ASSERT_EQ(one.registerServer(), S_OK);
            ASSERT_EQ(other.registerServer(), S_OK);
            EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, server, ""), LoadedPath(second.get()));

            EXPECT_EQ(one.unregisterServer(), S_OK);
            EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, server, ""), LoadedPath(second.get()));
            EXPECT_EQ(other.unregisterServer(), S_OK);
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(a.clsid)));

            // A registration whose file is gone is stale and goes with any module of the class.
            ASSERT_EQ(one.registerServer(), S_OK);
            first.reset();
            ASSERT_TRUE(::DeleteFileA((scratch / a.module).c_str()));
            EXPECT_EQ(other.unregisterServer(), S_OK);
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(a.clsid)));
        }
    }
    if (pairs == 0) GTEST_SKIP() << "no two catalog modules share a class identifier";
}

// A server value the module cannot match to its own file is someone else's.
TEST(KitSharedClass, UnregisteringLeavesAServerItCannotTellIsItsOwn) {
    const Row& row = CatalogRows().front();
    ScratchFolder scratch;
    ASSERT_TRUE(ExtractCabinet(KitCabfiles() + "\\" + row.cab, scratch.path()));
    fw::unique_hmodule module(::LoadLibraryA((scratch / row.module).c_str()));
    ASSERT_TRUE(module);
    ServerEntries entries = EntriesOf(module.get());
    ASSERT_TRUE(entries.complete());

    const struct {
        const char* what;
        DWORD type;
        std::string value;
    } cases[] = {
        {"an expandable path of another file", REG_EXPAND_SZ, "%SystemRoot%\\system32\\kernel32.dll"},
        {"a path longer than any it writes", REG_SZ, "C:\\" + std::string(1500, 'a') + ".dll"},
        {"a value that is no text", REG_BINARY, "\x01\x02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::RedirectedKey root(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(root.active());
        ASSERT_EQ(entries.registerServer(), S_OK);
        fw::unique_hkey server;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, (ClassKey(row.clsid) + "\\InprocServer32").c_str(), 0,
                                  KEY_SET_VALUE, server.put()),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(server.get(), nullptr, 0, c.type, reinterpret_cast<const BYTE*>(c.value.c_str()),
                                   static_cast<DWORD>(c.value.size() + 1)),
                  ERROR_SUCCESS);
        EXPECT_EQ(entries.unregisterServer(), S_OK);
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(row.clsid)));
    }
}

// The fault variant that fails must fail without leaving anything behind.
TEST(KitFaultModule, FailingRegistrationWritesNothing) {
    fw::unique_hmodule module(::LoadLibraryA(test::BuildFile(KIT_FAIL_MODULE).c_str()));
    ASSERT_TRUE(module);
    ServerEntries entries = EntriesOf(module.get());
    ASSERT_TRUE(entries.complete());
    test::RedirectedKey root(HKEY_CLASSES_ROOT);
    ASSERT_TRUE(root.active());
    EXPECT_EQ(entries.registerServer(), E_FAIL);
    DWORD subkeys = 1, values = 1;
    ASSERT_EQ(::RegQueryInfoKeyA(root.scratch(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                 nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 0u);
}

}  // namespace
}  // namespace kelvane::kit_test
