// Which cabinet entry names may be written below the unpack folder.
#include <gtest/gtest.h>

#include "download/engine/cabinet.h"

namespace {

struct NameCase {
    const wchar_t* name;
    bool safe;
};

const NameCase kNames[] = {
    {L"QzCore.dll", true},
    {L"QzCore.inf", true},
    {L"sub\\file.dll", true},
    {L"sub/file.dll", true},
    {L".hidden", true},
    {L"a..b.dll", true},
    {L"COM10.dll", true},
    {L"CONSOLE.dll", true},
    {L"", false},
    {L"..", false},
    {L".", false},
    {L"..\\evil.dll", false},
    {L"sub\\..\\..\\evil.dll", false},
    {L"sub/../evil.dll", false},
    {L"sub\\.\\file.dll", false},
    {L"sub\\\\file.dll", false},
    {L"\\evil.dll", false},
    {L"/evil.dll", false},
    {L"\\\\server\\share\\evil.dll", false},
    {L"\\\\?\\C:\\evil.dll", false},
    {L"C:\\evil.dll", false},
    {L"C:evil.dll", false},
    {L"file.dll:stream", false},
    {L"CON", false},
    {L"con.txt", false},
    {L"sub\\NUL.dll", false},
    {L"AUX .dll", false},
    {L"COM1.ocx", false},
    {L"lpt9", false},
    {L"CONIN$", false},
    {L"evil.dll.", false},
    {L"evil.dll ", false},
    {L"sub.\\evil.dll", false},
    {L"what?.dll", false},
    {L"a*b", false},
    {L"a\x01" L"b", false},
    {L"a<b>", false},
    {L"a|b", false},
    {L"a\"b", false},
};

TEST(EntryNameTest, AcceptsOnlyNamesThatStayInsideTheFolder) {
    for (const auto& c : kNames) {
        EXPECT_EQ(kelvane::engine::IsSafeEntryName(c.name), c.safe) << "name: \"" << testing::PrintToString(std::wstring(c.name)) << "\"";
    }
    EXPECT_FALSE(kelvane::engine::IsSafeEntryName(std::wstring(201, L'a')));
}

}  // namespace
