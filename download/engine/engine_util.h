// Small helpers shared by the parts of the built-in code-download engine.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kelvane::engine {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix);

bool IsFile(const std::wstring& path);
bool IsFolder(const std::wstring& path);

// Deletes a folder and everything below it; reparse points are removed, never entered.
void RemoveTree(const std::wstring& path);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::wstring GuidText(REFGUID guid);

// "a,b,c,d" from the two version words.
std::wstring VersionText(DWORD versionMS, DWORD versionLS);
// Reads "a,b,c,d" (also "a.b.c.d"); false when it is not four numbers of 16 bits.
bool ParseVersion(std::wstring_view text, DWORD& versionMS, DWORD& versionLS);
// The fixed file version of a module's version resource.
bool FileVersionOf(const std::wstring& path, DWORD& versionMS, DWORD& versionLS);

// A folder made for one attempt and removed with everything in it when the owner goes.
class TempFolder {
public:
    TempFolder() = default;
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() { Remove(); }

    // A new folder with a name no one else uses, under `root`.
    HRESULT Create(const std::wstring& root);
    void Remove();
    // For an owner that removed it already.
    void Forget() { path_.clear(); }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

}  // namespace kelvane::engine
