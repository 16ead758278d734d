#include "framework/strings.h"

namespace fw {

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring result(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
    return result;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                  nullptr);
    if (n <= 0) return {};
    std::string result(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), n, nullptr,
                          nullptr);
    return result;
}

std::string LoadText(UINT id) {
    // LoadStringA cannot report a text's length up front; the table's texts are short.
    char buffer[1024] = {};
    int n = ::LoadStringA(::GetModuleHandleA(nullptr), id, buffer, sizeof(buffer));
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string ReplacePercentOne(const std::string& pattern, const std::string& value) {
    std::string result;
    for (size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 2, "%1") == 0) {
            result += value;
            i += 2;
        } else {
            result += pattern[i++];
        }
    }
    return result;
}

int ShowAppMessage(Platform& platform, HWND owner, const std::string& text, UINT type) {
    return platform.ShowMessage(owner, text, BaseNameOf(platform.ModulePath()), type);
}

}  // namespace fw
