// Unpacking one cabinet with the system's cabinet library (FDI) into a folder
// of our own, refusing whatever could land outside it or flood the disk.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::engine {

struct ExtractLimits {
    std::uint64_t maxTotalBytes = 64ull << 20;  // all entries together, as unpacked
    std::uint32_t maxEntries = 1024;
};

struct ExtractedFile {
    std::wstring name;  // the entry name, with backslashes, relative to the folder
    std::wstring path;  // where it was written
};

struct ExtractResult {
    HRESULT hr = E_FAIL;
    std::wstring detail;  // why, for the error text of the attempt
    std::vector<ExtractedFile> files;
};

// Whether a cabinet entry name stays inside the folder it is unpacked to:
// relative, no drive, UNC or stream prefix, no "." or ".." segment, no reserved
// device name, no character Windows refuses or silently drops.
bool IsSafeEntryName(std::wstring_view name);

// Unpacks `cabinet` into the existing, empty `folder`. On failure the folder
// may hold part of the entries; the caller removes it in every case.
ExtractResult ExtractCabinet(const std::wstring& cabinet, const std::wstring& folder, const ExtractLimits& limits);

}  // namespace kelvane::engine
