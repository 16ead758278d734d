#include "download/engine/engine_util.h"

#include <objbase.h>

#include <vector>

#include "framework/raii.h"

namespace kelvane::engine {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix) {
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolder(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void RemoveTree(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileW(path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW data{};
        fw::unique_find find(::FindFirstFileW((path + L"\\*").c_str(), &data));
        if (find) {
            do {
                std::wstring name = data.cFileName;
                if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
            } while (::FindNextFileW(find.get(), &data));
        }
    }
    ::RemoveDirectoryW(path.c_str());
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring VersionText(DWORD versionMS, DWORD versionLS) {
    return std::to_wstring(HIWORD(versionMS)) + L"," + std::to_wstring(LOWORD(versionMS)) + L"," +
           std::to_wstring(HIWORD(versionLS)) + L"," + std::to_wstring(LOWORD(versionLS));
}

bool ParseVersion(std::wstring_view text, DWORD& versionMS, DWORD& versionLS) {
    DWORD parts[4] = {};
    size_t part = 0;
    bool digit = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            parts[part] = parts[part] * 10 + static_cast<DWORD>(c - L'0');
            if (parts[part] > 0xFFFF) return false;
            digit = true;
        } else if ((c == L',' || c == L'.') && digit && part < 3) {
            ++part;
            digit = false;
        } else if (c != L' ') {
            return false;
        }
    }
    if (part != 3 || !digit) return false;
    versionMS = MAKELONG(parts[1], parts[0]);
    versionLS = MAKELONG(parts[3], parts[2]);
    return true;
}

bool FileVersionOf(const std::wstring& path, DWORD& versionMS, DWORD& versionLS) {
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return false;
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
        length < sizeof(VS_FIXEDFILEINFO))
        return false;
    versionMS = info->dwFileVersionMS;
    versionLS = info->dwFileVersionLS;
    return true;
}

HRESULT TempFolder::Create(const std::wstring& root) {
    Remove();
    std::wstring base = root;
    if (base.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
        if (n == 0 || n > MAX_PATH) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        base = temp;
    }
    while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = base + L"\\kvcd-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::InterlockedIncrement(&counter)) + L"-" +
                                 std::to_wstring(::GetTickCount() & 0xFFFF);
        // Creating the folder, never reusing one, is what makes it ours alone.
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return S_OK;
        }
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return HRESULT_FROM_WIN32(error);
    }
    return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

void TempFolder::Remove() {
    if (path_.empty()) return;
    RemoveTree(path_);
    path_.clear();
}

}  // namespace kelvane::engine
