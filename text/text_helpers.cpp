#include "text/text_helpers.h"

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

namespace kelvane {
namespace {

// The conversion functions take int sizes; a larger buffer is simply not used in full.
int ClampToInt(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

// The longest OLE string whose size in bytes still fits the 32-bit length prefix.
constexpr UINT kMaxBstrLength = (UINT_MAX - sizeof(UINT) - sizeof(wchar_t)) / sizeof(wchar_t);

}  // namespace

bool AnsiToUtf16(const char* text, wchar_t* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return false;
    buffer[0] = L'\0';
    if (!text || !*text) return true;
    if (::MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, ClampToInt(capacity)) > 0) return true;
    // A conversion that ran out of room has written an unterminated part.
    buffer[0] = L'\0';
    return false;
}

bool Utf16ToAnsi(const wchar_t* text, char* buffer, std::size_t capacity) {
    if (!buffer || capacity == 0) return false;
    buffer[0] = '\0';
    if (!text || !*text) return true;
    if (::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, ClampToInt(capacity), nullptr, nullptr) > 0) return true;
    buffer[0] = '\0';
    return false;
}

fw::unique_bstr AnsiToBstr(const char* text) {
    if (!text) return {};
    // Includes the terminator, which SysAllocStringLen adds by itself.
    int units = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0) return {};
    fw::unique_bstr result(::SysAllocStringLen(nullptr, static_cast<UINT>(units - 1)));
    if (!result) return {};
    if (::MultiByteToWideChar(CP_ACP, 0, text, -1, result.get(), units) != units) return {};
    return result;
}

HRESULT AppendToBstr(fw::unique_bstr& target, const wchar_t* text, UINT length) {
    if (length == 0) return S_OK;
    if (!text) return E_INVALIDARG;
    UINT existing = ::SysStringLen(target.get());
    if (length > kMaxBstrLength - existing) return E_OUTOFMEMORY;
    fw::unique_bstr joined(::SysAllocStringLen(nullptr, existing + length));
    if (!joined) return E_OUTOFMEMORY;
    // Both copies come before the old string is released, so `text` may lie inside it.
    if (existing) std::memcpy(joined.get(), target.get(), existing * sizeof(wchar_t));
    std::memcpy(joined.get() + existing, text, length * sizeof(wchar_t));
    target = std::move(joined);
    return S_OK;
}

bool UpperCaseBstr(fw::unique_bstr& text) {
    UINT length = ::SysStringLen(text.get());
    if (length == 0) return true;
    if (length > INT_MAX) return false;
    int units = static_cast<int>(length);

    // A character the code page lacks would come back as the default
    // character; refuse instead of changing the text. UTF-8 as the ANSI code
    // page takes neither the flag nor the report, and loses only broken surrogates.
    bool utf8 = ::GetACP() == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    BOOL* report = utf8 ? nullptr : &lossy;
    int bytes = ::WideCharToMultiByte(CP_ACP, flags, text.get(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return false;
    std::vector<char> ansi(static_cast<std::size_t>(bytes));
    if (::WideCharToMultiByte(CP_ACP, flags, text.get(), units, ansi.data(), bytes, nullptr, report) != bytes ||
        lossy)
        return false;

    // By length, not by terminator: an OLE string may hold zeros.
    if (::CharUpperBuffA(ansi.data(), static_cast<DWORD>(bytes)) != static_cast<DWORD>(bytes)) return false;

    int upperUnits = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, nullptr, 0);
    if (upperUnits <= 0) return false;
    fw::unique_bstr upper(::SysAllocStringLen(nullptr, static_cast<UINT>(upperUnits)));
    if (!upper) return false;
    if (::MultiByteToWideChar(CP_ACP, 0, ansi.data(), bytes, upper.get(), upperUnits) != upperUnits) return false;
    text = std::move(upper);
    return true;
}

int CompareAnsi(const char* left, const char* right) {
    const char* a = left ? left : "";
    const char* b = right ? right : "";
    for (;; ++a, ++b) {
        int x = static_cast<signed char>(*a);
        int y = static_cast<signed char>(*b);
        if (x != y) return x - y;
        if (x == 0) return 0;
    }
}

}  // namespace kelvane
