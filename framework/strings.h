// String-table texts and the application's message boxes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "framework/platform.h"

namespace fw {

// Text of the code page to UTF-16 and back; "" when it cannot be converted.
std::wstring Widen(std::string_view text, UINT codePage = CP_ACP);
std::string Narrow(std::wstring_view text, UINT codePage = CP_ACP);

// The text of string-table entry `id` of the program's module, "" when there is none.
std::string LoadText(UINT id);

// "%1" in `pattern` replaced by `value` (every occurrence).
std::string ReplacePercentOne(const std::string& pattern, const std::string& value);

// A message box captioned with the application name: the program file's name
// without its extension.
int ShowAppMessage(Platform& platform, HWND owner, const std::string& text, UINT type = MB_OK);

}  // namespace fw
