#include "framework/strings.h"

namespace fw {

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
