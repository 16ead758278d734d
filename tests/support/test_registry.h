// Registry reads for the tests' checks, a scratch key standing in for a
// predefined key, and class identifiers with their registrations.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "framework/raii.h"

namespace kelvane::test {

bool KeyExists(HKEY root, const std::string& key);
// The REG_SZ value `value` ("" = default) of `root`\`key`; "" when there is none.
std::string ReadString(HKEY root, const std::string& key, const std::string& value);
bool ReadDword(HKEY root, const std::string& key, const std::string& value, DWORD& data);

// The predefined key (HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT) of this process
// points at a new key below HKEY_CURRENT_USER for the object's life; the key
// is removed afterwards. (Not a volatile key: registration writes lasting
// subkeys, which a volatile parent refuses.)
class RedirectedKey {
public:
    explicit RedirectedKey(HKEY predefined);
    RedirectedKey(const RedirectedKey&) = delete;
    RedirectedKey& operator=(const RedirectedKey&) = delete;
    ~RedirectedKey();

    bool active() const { return active_; }
    // The scratch key itself, for looking past the redirection.
    HKEY scratch() const { return key_.get(); }

private:
    HKEY predefined_;
    std::string path_;
    fw::unique_hkey key_;
    bool active_ = false;
};

// The class identifier "{...}"; a failure of the test when it is none.
CLSID ClsidOf(const std::string& text);

// Removes the class's registration (HKEY_CLASSES_ROOT\CLSID\{...}) when it
// goes, however the test ends: registration in a child process writes to the
// real classes root.
class ClassRegistration {
public:
    explicit ClassRegistration(std::string clsid) : clsid_(std::move(clsid)) {}
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;
    ~ClassRegistration() { Remove(); }

    // The registered server's path, "" when there is none.
    std::string Server() const;
    // Removes it now as well (what an earlier run left, say).
    void Remove() const;

private:
    std::string clsid_;
};

}  // namespace kelvane::test
