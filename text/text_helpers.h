// Conversions between the program's ANSI texts and the UTF-16 texts and OLE
// strings (BSTR) that COM calls take, plus two small text operations.
//
// Every conversion uses the system's ANSI code page (CP_ACP). A null input
// text counts as empty.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>

#include "framework/raii.h"

namespace kelvane {

// Converts `text` into `buffer`, which holds `capacity` UTF-16 code units.
// On success the buffer holds the whole text and its terminator. When the
// text does not fit (or cannot be converted) the buffer holds an empty string
// and the result is false; a capacity of 0 leaves the buffer untouched.
bool AnsiToUtf16(const char* text, wchar_t* buffer, std::size_t capacity);

// The reverse, into `buffer` of `capacity` bytes. Characters that the ANSI
// code page lacks become the code page's default character.
bool Utf16ToAnsi(const wchar_t* text, char* buffer, std::size_t capacity);

// A new OLE string holding `text`; empty (not null) for "", null for a null
// text or when the conversion or the allocation fails.
fw::unique_bstr AnsiToBstr(const char* text);

// Replaces `target` by a new string holding `target` followed by `length`
// code units of `text` (embedded zeros included). `text` may point into
// `target`. On failure `target` stays as it was: E_OUTOFMEMORY when the
// allocation fails or the summed length is too large, E_INVALIDARG for a null
// `text` with a nonzero length.
HRESULT AppendToBstr(fw::unique_bstr& target, const wchar_t* text, UINT length);

// Upper-cases `text` with the ANSI code page's case rules (a double-byte
// character is never taken apart). Returns false, leaving the string as it
// was, when it cannot be done without loss: a character that the code page
// lacks, or a failed conversion or allocation. A null string is left null
// (and counts as done).
bool UpperCaseBstr(fw::unique_bstr& text);

// Compares two ANSI texts byte by byte; a null text counts as empty. Returns
// 0 when equal, otherwise the difference of the first differing bytes taken
// as signed 8-bit values.
int CompareAnsi(const char* left, const char* right);

}  // namespace kelvane
