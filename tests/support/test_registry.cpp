#include "tests/support/test_registry.h"

#include <atomic>

#include <gtest/gtest.h>

#include "framework/strings.h"

namespace kelvane::test {

bool KeyExists(HKEY root, const std::string& key) {
    fw::unique_hkey opened;
    return ::RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

std::string ReadString(HKEY root, const std::string& key, const std::string& value) {
    const char* name = value.empty() ? nullptr : value.c_str();
    // Only what was written as REG_SZ: an expandable string is not taken for one.
    const DWORD flags = RRF_RT_REG_SZ | RRF_NOEXPAND;
    DWORD size = 0;
    if (::RegGetValueA(root, key.c_str(), name, flags, nullptr, nullptr, &size) != ERROR_SUCCESS) return {};
    std::string text(size, '\0');
    if (::RegGetValueA(root, key.c_str(), name, flags, nullptr, text.data(), &size) != ERROR_SUCCESS) return {};
    text.resize(::lstrlenA(text.c_str()));
    return text;
}

bool ReadDword(HKEY root, const std::string& key, const std::string& value, DWORD& data) {
    DWORD size = sizeof(data);
    return ::RegGetValueA(root, key.c_str(), value.c_str(), RRF_RT_REG_DWORD, nullptr, &data, &size) == ERROR_SUCCESS;
}

RedirectedKey::RedirectedKey(HKEY predefined) : predefined_(predefined) {
    static std::atomic<unsigned> counter{0};
    path_ = "Software\\KelvaneTest-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++);
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(),
                          nullptr) == ERROR_SUCCESS)
        active_ = ::RegOverridePredefKey(predefined_, key_.get()) == ERROR_SUCCESS;
    // Unredirected, a test would write the prefix's real keys.
    EXPECT_TRUE(active_) << "no scratch key for the predefined key";
}

RedirectedKey::~RedirectedKey() {
    if (active_) ::RegOverridePredefKey(predefined_, nullptr);
    if (key_) {
        key_.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
}

CLSID ClsidOf(const std::string& text) {
    CLSID id{};
    EXPECT_EQ(::CLSIDFromString(fw::Widen(text).c_str(), &id), S_OK) << text;
    return id;
}

std::string ClassRegistration::Server() const {
    return ReadString(HKEY_CLASSES_ROOT, "CLSID\\" + clsid_ + "\\InprocServer32", "");
}

void ClassRegistration::Remove() const { ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid_).c_str()); }

}  // namespace kelvane::test
