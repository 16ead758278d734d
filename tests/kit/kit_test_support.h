// What the kit tests share: the catalog rows the kit was built from, where
// the build put the kit, cabinet extraction with the system's cabinet
// library and a child-process runner.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "framework/raii.h"
#include "tests/support/test_registry.h"

namespace kelvane::kit_test {

using test::KeyExists;
using test::ReadString;

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

std::string Stem(const std::string& name);
bool SameIgnoringCase(const std::string& a, const std::string& b);

// Extracts every entry of `cab` into `folder` and returns the entry names as
// stored, or nothing when the cabinet library refuses the cabinet.
std::optional<std::vector<std::string>> ExtractCabinet(const std::string& cab, const std::string& folder);

bool CopyInto(const std::string& file, const std::string& folder);

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
