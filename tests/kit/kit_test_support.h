// What the kit tests share: the catalog rows the kit was built from, where
// the build put the kit, cabinet extraction with the system's cabinet
// library, a redirected classes root and a child-process runner.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "framework/raii.h"

namespace kelvane::kit_test {

struct Row {
    int index;
    std::string clsid;
    std::string cab;
    std::string module;
    std::string inf;
    std::string name;
};

// gtest shows a row by its index and cabinet.
void PrintTo(const Row& row, std::ostream* out);

// Every row of the catalog file the kit was built from, in file order.
const std::vector<Row>& CatalogRows();

// A handful of rows that cover the catalog's shapes: the first row, rows that
// share a module, rows that share only a class identifier, a module whose
// name differs from its cabinet's in letter case only, an .ocx module and a
// class identifier with lower-case digits.
std::vector<Row> RowsToCheck();

// The cabinet files folder of the kit build.
std::string KitCabfiles();
// A file the build made, given by its build-machine path.
std::string BuildFile(const char* hostPath);

std::string Stem(const std::string& name);
bool SameIgnoringCase(const std::string& a, const std::string& b);

// Extracts every entry of `cab` into `folder` and returns the entry names as
// stored, or nothing when the cabinet library refuses the cabinet.
std::optional<std::vector<std::string>> ExtractCabinet(const std::string& cab, const std::string& folder);

bool CopyInto(const std::string& file, const std::string& folder);

// HKEY_CLASSES_ROOT of this process points at a new key below
// HKEY_CURRENT_USER for the object's life; the key is removed afterwards.
// (Not a volatile key: registration writes lasting subkeys, which a volatile
// parent refuses.)
class RedirectedClassesRoot {
public:
    RedirectedClassesRoot();
    RedirectedClassesRoot(const RedirectedClassesRoot&) = delete;
    RedirectedClassesRoot& operator=(const RedirectedClassesRoot&) = delete;
    ~RedirectedClassesRoot();

    bool active() const { return active_; }
    // The scratch key itself, for looking past the redirection.
    HKEY scratch() const { return key_.get(); }

private:
    std::string path_;
    fw::unique_hkey key_;
    bool active_ = false;
};

bool KeyExists(HKEY root, const std::string& path);
// The string value `name` ("" = default) of `root`\`path`.
std::optional<std::string> ReadString(HKEY root, const std::string& path, const std::string& name);

// The four entry points of an in-process server.
struct ServerEntries {
    HRESULT(STDAPICALLTYPE* registerServer)(void) = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer)(void) = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)(void) = nullptr;
    bool complete() const { return registerServer && unregisterServer && getClassObject && canUnloadNow; }
};
ServerEntries EntriesOf(HMODULE module);

// Runs `commandLine` as a child process in `folder`, waits for its end and
// returns its exit code; nothing when it could not be started.
std::optional<DWORD> RunChild(const std::string& commandLine, const std::string& folder);

}  // namespace kelvane::kit_test
