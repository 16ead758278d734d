// The text helpers against the system's own conversions. Cases that depend on
// the ANSI code page say which one they need and are skipped under another;
// the double-byte cases run in a second pass under a Korean locale (949).
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <climits>
#include <string>

#include "text/text_helpers.h"

namespace kelvane {
namespace {

constexpr UINT kWestern = 1252;
constexpr UINT kKorean = 949;

#define REQUIRE_CODE_PAGE(cp) \
    if (::GetACP() != (cp)) GTEST_SKIP() << "needs ANSI code page " << (cp) << ", running under " << ::GetACP()

std::wstring Contents(const fw::unique_bstr& text) {
    return std::wstring(text.get(), ::SysStringLen(text.get()));
}

// A null string, or one with the terminator that OLE strings carry after their length.
bool Terminated(const fw::unique_bstr& text) { return !text || text.get()[::SysStringLen(text.get())] == L'\0'; }

fw::unique_bstr MakeBstr(const std::wstring& text) {
    return fw::unique_bstr(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

// Buffers start filled with this, so that a missing terminator shows.
constexpr char kFill = 'X';

struct ToUtf16Case {
    const char* text;
    size_t capacity;
    bool converted;
    const wchar_t* expected;
};

TEST(AnsiToUtf16, FillsTheBufferOrLeavesItEmptyAndTerminated) {
    const ToUtf16Case cases[] = {
        {"abc", 4, true, L"abc"},
        {"abc", 3, false, L""},  // no room for the terminator
        {"abc", 1, false, L""},
        {"", 1, true, L""},
        {nullptr, 4, true, L""},
        {"{00000001-0000-0000-C000-000000000046}", 39, true, L"{00000001-0000-0000-C000-000000000046}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text ? c.text : "(null)") + " into " + std::to_string(c.capacity));
        std::wstring buffer(c.capacity, kFill);
        EXPECT_EQ(AnsiToUtf16(c.text, buffer.data(), c.capacity), c.converted);
        EXPECT_STREQ(buffer.c_str(), c.expected);
    }
}

TEST(AnsiToUtf16, LeavesABufferOfNoSizeAlone) {
    wchar_t buffer[1] = {kFill};
    EXPECT_FALSE(AnsiToUtf16("abc", buffer, 0));
    EXPECT_EQ(buffer[0], kFill);
    EXPECT_FALSE(AnsiToUtf16("abc", nullptr, 4));
}

TEST(AnsiToUtf16, UsesTheAnsiCodePage) {
    REQUIRE_CODE_PAGE(kWestern);
    wchar_t buffer[8];
    EXPECT_TRUE(AnsiToUtf16("\xE9t\xE9\x80", buffer, 8));
    EXPECT_STREQ(buffer, L"\u00E9t\u00E9\u20AC");
}

struct ToAnsiCase {
    const wchar_t* text;
    size_t capacity;
    bool converted;
    const char* expected;
};

TEST(Utf16ToAnsi, FillsTheBufferOrLeavesItEmptyAndTerminated) {
    const ToAnsiCase cases[] = {
        {L"abc", 4, true, "abc"},
        {L"abc", 3, false, ""},
        {L"abc", 1, false, ""},
        {L"", 1, true, ""},
        {nullptr, 4, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.capacity));
        std::string buffer(c.capacity, kFill);
        EXPECT_EQ(Utf16ToAnsi(c.text, buffer.data(), c.capacity), c.converted);
        EXPECT_STREQ(buffer.c_str(), c.expected);
    }
    char untouched[1] = {kFill};
    EXPECT_FALSE(Utf16ToAnsi(L"abc", untouched, 0));
    EXPECT_EQ(untouched[0], kFill);
}

TEST(Utf16ToAnsi, UsesTheAnsiCodePageAndItsDefaultCharacter) {
    REQUIRE_CODE_PAGE(kWestern);
    char buffer[8];
    EXPECT_TRUE(Utf16ToAnsi(L"\u00E9\u20AC\u4E00", buffer, 8));
    EXPECT_STREQ(buffer, "\xE9\x80?");
}

TEST(AnsiToBstr, MakesAStringOfTheConvertedLength) {
    struct Case {
        const char* text;
        bool made;
        std::wstring expected;
    };
    const Case cases[] = {
        {nullptr, false, L""},
        {"", true, L""},
        {"abc", true, L"abc"},
        {"C:\\cabfiles\\QzC1Chart.cab", true, L"C:\\cabfiles\\QzC1Chart.cab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        fw::unique_bstr text = AnsiToBstr(c.text);
        EXPECT_EQ(static_cast<bool>(text), c.made);
        EXPECT_EQ(Contents(text), c.expected);
        EXPECT_TRUE(Terminated(text));
    }
}

TEST(AnsiToBstr, UsesTheAnsiCodePage) {
    REQUIRE_CODE_PAGE(kWestern);
    EXPECT_EQ(Contents(AnsiToBstr("caf\xE9")), L"caf\u00E9");
}

TEST(AppendToBstr, JoinsTheGivenLengthOrKeepsTheOldString) {
    struct Case {
        const wchar_t* initial;  // null: a null string
        const wchar_t* text;
        UINT length;
        HRESULT result;
        std::wstring expected;
    };
    const Case cases[] = {
        {nullptr, L"abc", 3, S_OK, L"abc"},
        {L"ab", L"cd", 2, S_OK, L"abcd"},
        {L"ab", L"cdef", 2, S_OK, L"abcd"},  // the length counts, not the terminator
        {L"ab", L"c\0d", 3, S_OK, std::wstring(L"abc\0d", 5)},
        {L"ab", nullptr, 0, S_OK, L"ab"},
        {L"ab", nullptr, 2, E_INVALIDARG, L"ab"},
        {L"ab", L"x", UINT_MAX - 1, E_OUTOFMEMORY, L"ab"},  // the summed length would wrap
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        fw::unique_bstr target = c.initial ? MakeBstr(c.initial) : fw::unique_bstr();
        EXPECT_EQ(AppendToBstr(target, c.text, c.length), c.result);
        EXPECT_EQ(Contents(target), c.expected);
        EXPECT_TRUE(Terminated(target));
    }
}

TEST(AppendToBstr, AppendsAStringToItself) {
    fw::unique_bstr text = MakeBstr(L"ab");
    EXPECT_EQ(AppendToBstr(text, text.get(), ::SysStringLen(text.get())), S_OK);
    EXPECT_EQ(Contents(text), L"abab");
}

struct UpperCase {
    std::wstring text;
    bool done;
    std::wstring expected;
};

void CheckUpperCase(const UpperCase& c) {
    fw::unique_bstr text = MakeBstr(c.text);
    EXPECT_EQ(UpperCaseBstr(text), c.done);
    EXPECT_EQ(Contents(text), c.expected);
}

TEST(UpperCaseBstr, UpperCasesTheWholeString) {
    const UpperCase cases[] = {
        {L"abc", true, L"ABC"},
        {L"c:\\windows\\Downloaded Program Files\\qzchart.ocx", true,
         L"C:\\WINDOWS\\DOWNLOADED PROGRAM FILES\\QZCHART.OCX"},
        {L"", true, L""},
        {std::wstring(L"a\0b", 3), true, std::wstring(L"A\0B", 3)},  // past an embedded zero
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        CheckUpperCase(c);
    }
    fw::unique_bstr none;
    EXPECT_TRUE(UpperCaseBstr(none));
    EXPECT_FALSE(none);
}

TEST(UpperCaseBstr, KeepsTextTheCodePageCannotHold) {
    REQUIRE_CODE_PAGE(kWestern);
    const UpperCase cases[] = {
        {L"caf\u00E9", true, L"CAF\u00C9"},
        {L"x\u4E00y", false, L"x\u4E00y"},    // no such character: it would become "?"
        {L"x\u0100y", false, L"x\u0100y"},    // only a look-alike ("A") exists
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        CheckUpperCase(c);
    }
}

TEST(CompareAnsi, ComparesSignedBytesAndTakesNullAsEmpty) {
    struct Case {
        const char* left;
        const char* right;
        int expected;
    };
    const Case cases[] = {
        {"QzC1Chart.cab", "QzC1Chart.cab", 0},
        {nullptr, nullptr, 0},
        {nullptr, "", 0},
        {"", nullptr, 0},
        {nullptr, "a", -'a'},
        {"a", nullptr, 'a'},
        {"abc", "abd", -1},
        {"abcd", "abc", 'd'},
        {"QzC1Chart.cab", "qzc1chart.cab", 'Q' - 'q'},  // letter case counts
        {"\xE9", "a", -23 - 'a'},                       // bytes above 0x7F are negative
        {"\x80", "\x7F", -128 - 127},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(&c - cases));
        EXPECT_EQ(CompareAnsi(c.left, c.right), c.expected);
    }
}

TEST(DoubleByte, ConvertsWholeCharacters) {
    REQUIRE_CODE_PAGE(kKorean);
    // "\xB0\xA1" is U+AC00.
    wchar_t wide[3];
    EXPECT_TRUE(AnsiToUtf16("\xB0\xA1" "a", wide, 3));
    EXPECT_STREQ(wide, L"\uAC00a");
    EXPECT_FALSE(AnsiToUtf16("\xB0\xA1" "a", wide, 2));
    EXPECT_STREQ(wide, L"");

    char narrow[4];
    EXPECT_TRUE(Utf16ToAnsi(L"\uAC00a", narrow, 4));
    EXPECT_STREQ(narrow, "\xB0\xA1" "a");
    EXPECT_FALSE(Utf16ToAnsi(L"\uAC00a", narrow, 3));  // room for the character, not the terminator
    EXPECT_STREQ(narrow, "");

    EXPECT_EQ(Contents(AnsiToBstr("\xB0\xA1" "a")), L"\uAC00a");
}

TEST(DoubleByte, UpperCasingLeavesTrailBytesAlone) {
    REQUIRE_CODE_PAGE(kKorean);
    // A character whose second byte is the letter 'a'.
    wchar_t syllable[2] = {};
    ASSERT_EQ(::MultiByteToWideChar(kKorean, 0, "\x81" "a", 2, syllable, 2), 1);
    CheckUpperCase({std::wstring(1, syllable[0]) + L"a.ocx", true, std::wstring(1, syllable[0]) + L"A.OCX"});
}

}  // namespace
}  // namespace kelvane
