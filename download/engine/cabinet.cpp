#include "download/engine/cabinet.h"

#include <fcntl.h>
#include <fdi.h>

#include <cstring>
#include <memory>

#include "download/engine/engine_util.h"
#include "framework/raii.h"
#include "framework/strings.h"

namespace kelvane::engine {

namespace {

const HRESULT kCorrupt = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
const HRESULT kUnsafeName = HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
const HRESULT kTooLarge = HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);

std::wstring TooMuchData(const ExtractLimits& limits) {
    return L"the cabinet unpacks to more than " + std::to_wstring(limits.maxTotalBytes) + L" bytes";
}

bool IsReservedDeviceName(std::wstring_view segment) {
    // Windows opens the device for these whatever extension follows.
    std::wstring_view stem = segment.substr(0, segment.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    static const wchar_t* const plain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* name : plain) {
        if (EqualsNoCase(stem, name)) return true;
    }
    if (stem.size() == 4 && (EqualsNoCase(stem.substr(0, 3), L"COM") || EqualsNoCase(stem.substr(0, 3), L"LPT"))) {
        wchar_t last = stem[3];
        return (last >= L'0' && last <= L'9') || last == 0xB9 || last == 0xB2 || last == 0xB3;
    }
    return false;
}

}  // namespace

bool IsSafeEntryName(std::wstring_view name) {
    if (name.empty() || name.size() > 200) return false;
    if (name.front() == L'\\' || name.front() == L'/') return false;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size()) {
            wchar_t c = name[i];
            if (c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|')
                return false;
            if (c != L'\\' && c != L'/') continue;
        }
        std::wstring_view segment = name.substr(start, i - start);
        if (segment.empty() || segment == L"." || segment == L"..") return false;
        // "a." and "a " name the same file as "a" once Windows has trimmed them.
        if (segment.back() == L'.' || segment.back() == L' ') return false;
        if (IsReservedDeviceName(segment)) return false;
        start = i + 1;
    }
    return true;
}

namespace {

struct FdiTraits {
    using type = HFDI;
    static type invalid() { return nullptr; }
    static void close(type h) { ::FDIDestroy(h); }
};

// One file FDI has open: the cabinet, or an entry being written.
struct OpenFile {
    fw::unique_file file;
    bool output = false;
};

// What the FDI callbacks work on. They take no context argument, so the one
// extraction running on this thread is found through a thread-local pointer.
struct Extraction {
    std::wstring cabinet;
    std::wstring folder;
    ExtractLimits limits;
    std::vector<std::unique_ptr<OpenFile>> open;
    std::uint64_t declared = 0;
    std::uint64_t written = 0;
    ExtractResult result;
    HRESULT failure = S_OK;
    std::wstring failureDetail;
    std::wstring current;  // entry being written

    void Fail(HRESULT hr, std::wstring detail) {
        if (SUCCEEDED(failure)) {
            failure = hr;
            failureDetail = std::move(detail);
        }
    }
};

thread_local Extraction* g_extraction = nullptr;

// The name FDI is given for the cabinet; the open callback maps it to the real,
// possibly non-ANSI, path.
char kCabinetToken[] = "<cabinet>";

OpenFile* FileOf(INT_PTR handle) { return reinterpret_cast<OpenFile*>(handle); }

FNALLOC(FdiAlloc) { return ::HeapAlloc(::GetProcessHeap(), 0, cb); }
FNFREE(FdiFree) { ::HeapFree(::GetProcessHeap(), 0, pv); }

FNOPEN(FdiOpen) {
    (void)oflag;
    (void)pmode;
    Extraction* x = g_extraction;
    if (!x || lstrcmpA(pszFile, kCabinetToken) != 0) return -1;
    auto entry = std::make_unique<OpenFile>();
    entry->file.reset(::CreateFileW(x->cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!entry->file) return -1;
    x->open.push_back(std::move(entry));
    return reinterpret_cast<INT_PTR>(x->open.back().get());
}

FNREAD(FdiRead) {
    DWORD read = 0;
    if (!::ReadFile(FileOf(hf)->file.get(), pv, cb, &read, nullptr)) return static_cast<UINT>(-1);
    return read;
}

FNWRITE(FdiWrite) {
    Extraction* x = g_extraction;
    OpenFile* f = FileOf(hf);
    if (x && f->output) {
        // The entry headers were checked; this also holds if FDI writes more than they say.
        if (x->written + cb > x->limits.maxTotalBytes) {
            x->Fail(kTooLarge, TooMuchData(x->limits));
            return static_cast<UINT>(-1);
        }
        x->written += cb;
    }
    DWORD written = 0;
    if (!::WriteFile(f->file.get(), pv, cb, &written, nullptr)) return static_cast<UINT>(-1);
    return written;
}

FNCLOSE(FdiClose) {
    FileOf(hf)->file.reset();
    return 0;
}

FNSEEK(FdiSeek) {
    LARGE_INTEGER distance{};
    distance.QuadPart = dist;
    LARGE_INTEGER position{};
    DWORD method = seektype == SEEK_CUR ? FILE_CURRENT : seektype == SEEK_END ? FILE_END : FILE_BEGIN;
    if (!::SetFilePointerEx(FileOf(hf)->file.get(), distance, &position, method)) return -1;
    return static_cast<long>(position.QuadPart);
}

INT_PTR StartEntry(Extraction& x, PFDINOTIFICATION info) {
    bool utf8 = (info->attribs & _A_NAME_IS_UTF) != 0;
    std::wstring name = fw::Widen(info->psz1 ? info->psz1 : "", utf8 ? CP_UTF8 : CP_ACP);
    if (!IsSafeEntryName(name)) {
        x.Fail(kUnsafeName, L"the cabinet holds an entry whose name leaves the unpack folder: " + name);
        return -1;
    }
    for (auto& c : name) {
        if (c == L'/') c = L'\\';
    }
    for (const auto& file : x.result.files) {
        if (EqualsNoCase(file.name, name)) {
            x.Fail(kCorrupt, L"the cabinet holds the entry " + name + L" twice");
            return -1;
        }
    }
    if (x.result.files.size() >= x.limits.maxEntries) {
        x.Fail(kTooLarge, L"the cabinet holds more than " + std::to_wstring(x.limits.maxEntries) + L" entries");
        return -1;
    }
    x.declared += static_cast<std::uint32_t>(info->cb);
    if (x.declared > x.limits.maxTotalBytes) {
        x.Fail(kTooLarge, TooMuchData(x.limits));
        return -1;
    }
    std::wstring path = x.folder + L"\\" + name;
    for (size_t slash = name.find(L'\\'); slash != std::wstring::npos; slash = name.find(L'\\', slash + 1)) {
        ::CreateDirectoryW((x.folder + L"\\" + name.substr(0, slash)).c_str(), nullptr);
    }
    auto entry = std::make_unique<OpenFile>();
    entry->output = true;
    // CREATE_NEW: nothing already there is ever overwritten.
    entry->file.reset(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
    if (!entry->file) {
        x.Fail(HRESULT_FROM_WIN32(::GetLastError()), L"cannot write the entry " + name);
        return -1;
    }
    x.current = name;
    x.open.push_back(std::move(entry));
    return reinterpret_cast<INT_PTR>(x.open.back().get());
}

FNFDINOTIFY(FdiNotify) {
    Extraction* x = g_extraction;
    if (!x) return -1;
    switch (fdint) {
        case fdintCOPY_FILE:
            return StartEntry(*x, pfdin);
        case fdintCLOSE_FILE_INFO:
            FileOf(pfdin->hf)->file.reset();
            x->result.files.push_back({x->current, x->folder + L"\\" + x->current});
            return TRUE;
        case fdintPARTIAL_FILE:
        case fdintNEXT_CABINET:
            x->Fail(HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), L"cabinets that span several files are not supported");
            return -1;
        default:
            return 0;
    }
}

std::uint32_t Le32(const BYTE* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t Le16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// FDI unpacks a folder's data from its start up to each entry, even for
// entries it is told to skip, so an entry at a huge offset costs that much
// work before any callback can object. The entry table gives the offsets;
// check them first.
HRESULT CheckEntryTable(const std::wstring& cabinet, const ExtractLimits& limits, std::wstring& detail) {
    fw::unique_file file(::CreateFileW(cabinet.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(::GetLastError());
    LARGE_INTEGER size{};
    ::GetFileSizeEx(file.get(), &size);
    auto readAt = [&](std::uint64_t offset, void* buffer, DWORD count) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        return ::SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN) &&
               ::ReadFile(file.get(), buffer, count, &read, nullptr) && read == count;
    };
    BYTE header[36] = {};
    if (!readAt(0, header, sizeof(header)) || memcmp(header, "MSCF", 4) != 0) {
        detail = L"the file is not a cabinet";
        return kCorrupt;
    }
    std::uint32_t filesOffset = Le32(header + 16);
    std::uint16_t folders = Le16(header + 26);
    std::uint16_t entries = Le16(header + 28);
    std::uint16_t flags = Le16(header + 30);
    if (flags & 0x0003) {
        detail = L"cabinets that span several files are not supported";
        return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    }
    if (entries > limits.maxEntries) {
        detail = L"the cabinet holds more than " + std::to_wstring(limits.maxEntries) + L" entries";
        return kTooLarge;
    }
    if (static_cast<std::uint64_t>(size.QuadPart) > limits.maxTotalBytes) {
        detail = L"the cabinet is larger than " + std::to_wstring(limits.maxTotalBytes) + L" bytes";
        return kTooLarge;
    }
    if (filesOffset >= static_cast<std::uint64_t>(size.QuadPart)) {
        detail = L"the cabinet is cut short";
        return kCorrupt;
    }
    std::uint64_t tableBytes = static_cast<std::uint64_t>(size.QuadPart) - filesOffset;
    std::uint64_t tableMost = static_cast<std::uint64_t>(entries) * (16 + 257);
    std::vector<BYTE> table(static_cast<size_t>(tableBytes < tableMost ? tableBytes : tableMost));
    if (!readAt(filesOffset, table.data(), static_cast<DWORD>(table.size()))) {
        detail = L"the cabinet cannot be read";
        return kCorrupt;
    }
    std::uint64_t total = 0;
    size_t at = 0;
    for (std::uint16_t i = 0; i < entries; ++i) {
        if (at + 16 > table.size()) {
            detail = L"the cabinet is cut short";
            return kCorrupt;
        }
        std::uint64_t length = Le32(&table[at]);
        std::uint64_t offset = Le32(&table[at + 4]);
        std::uint16_t folder = Le16(&table[at + 8]);
        if (folder >= folders) {
            detail = L"the cabinet holds an entry of a folder it does not have";
            return folder >= 0xFFFD ? HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED) : kCorrupt;
        }
        total += length;
        if (offset + length > limits.maxTotalBytes || total > limits.maxTotalBytes) {
            detail = TooMuchData(limits);
            return kTooLarge;
        }
        at += 16;
        while (at < table.size() && table[at] != 0) ++at;
        if (at >= table.size()) {
            detail = L"the cabinet is cut short";
            return kCorrupt;
        }
        ++at;
    }
    return S_OK;
}

}  // namespace

ExtractResult ExtractCabinet(const std::wstring& cabinet, const std::wstring& folder, const ExtractLimits& limits) {
    Extraction x;
    x.cabinet = cabinet;
    x.folder = folder;
    x.limits = limits;
    x.result.hr = CheckEntryTable(cabinet, limits, x.result.detail);
    if (FAILED(x.result.hr)) return std::move(x.result);

    ERF erf{};
    fw::unique_resource<FdiTraits> fdi(
        ::FDICreate(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek, cpuUNKNOWN, &erf));
    if (!fdi) {
        x.result.hr = E_OUTOFMEMORY;
        x.result.detail = L"the cabinet library could not start";
        return std::move(x.result);
    }
    char empty[] = "";
    g_extraction = &x;
    BOOL copied = ::FDICopy(fdi.get(), kCabinetToken, empty, 0, FdiNotify, nullptr, nullptr);
    g_extraction = nullptr;
    x.open.clear();  // whatever FDI left open after a failure
    if (copied && SUCCEEDED(x.failure)) {
        x.result.hr = S_OK;
    } else if (FAILED(x.failure)) {
        x.result.hr = x.failure;
        x.result.detail = x.failureDetail;
    } else {
        x.result.hr = erf.erfOper == FDIERROR_ALLOC_FAIL ? E_OUTOFMEMORY : kCorrupt;
        x.result.detail = L"the cabinet is damaged or cut short (cabinet library error " +
                          std::to_wstring(erf.erfOper) + L")";
    }
    return std::move(x.result);
}

}  // namespace kelvane::engine
