#include "platform/win32/win32.h"

#include "platform/win32/Log.h"

#include <gtest/gtest.h>
#include <clocale>
#include <string>

namespace {

std::string ToUtf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    EXPECT_EQ(size, WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr));
    out.pop_back();
    return out;
}

std::wstring ToWide(const std::string& text)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

TEST(Text, Utf8RoundTripAndMalformedInput)
{
    std::wstring mixed = L"a\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(ToUtf8(mixed), "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z");
    EXPECT_EQ(ToWide(ToUtf8(mixed)), mixed);
    // A lone surrogate and an out-of-range value become replacement characters.
    std::wstring bad = {wchar_t(0xD800), wchar_t(0x110000)};
    EXPECT_EQ(ToUtf8(bad), "\xef\xbf\xbd\xef\xbf\xbd");
    // Truncated and overlong sequences decode to replacements, never reading past the end.
    EXPECT_EQ(ToWide("\xe2\x82"), std::wstring(L"\ufffd\ufffd"));
    EXPECT_EQ(ToWide("\xc0\xaf"
                     "x"),
              std::wstring(L"\ufffd\ufffdx"));
    // A buffer that is too small fails instead of writing past it.
    char small[3] = {'#', '#', '#'};
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\u20ac", -1, small, 3, nullptr, nullptr), 0);
}

TEST(Text, TruncatingCopyAndFormat)
{
    wchar_t buffer[10];
    EXPECT_EQ(wcsncpy_s(buffer, 10, L"1234567890123", _TRUNCATE), STRUNCATE);
    EXPECT_STREQ(buffer, L"123456789");
    EXPECT_EQ(wcsncpy_s(buffer, 10, L"layer", _TRUNCATE), 0);
    EXPECT_STREQ(buffer, L"layer");
    EXPECT_EQ(wcsncpy_s(buffer, 10, L"abcdef", 3), 0);
    EXPECT_STREQ(buffer, L"abc");

    wchar_t caption[260];
    EXPECT_GT(_snwprintf(caption, 260, L"ERROR: %08X", 0x8876086Cu), 0);
    EXPECT_STREQ(caption, L"ERROR: 8876086C");
    wchar_t tiny[4];
    EXPECT_EQ(_snwprintf(tiny, 4, L"%d", 123456), -1);
    EXPECT_STREQ(tiny, L"123");

    wchar_t word[] = L"Mixed CASE \u00c9t\u00c9";
    EXPECT_STREQ(CharLowerW(word), L"mixed case \u00e9t\u00e9");
}

// Paths in log lines are UTF-8 whatever the program's locale; the C locale
// alone cannot convert them.
TEST(Text, LogLinesCarryNonAsciiPathsAsUtf8InTheCLocale)
{
    std::setlocale(LC_ALL, "C");
    std::string line;
    SetLogSink([&](const std::string& text) { line = text; }, false);
    LogPrintf("Loaded module: \"%ls\" (%d ms)\n", L"songs/caf\u00e9 cr\u00e8me.mod", 1234);
    EXPECT_EQ(line, "Loaded module: \"songs/caf\xc3\xa9 cr\xc3\xa8me.mod\" (1234 ms)\n");
    LogPrintf("Loaded image: \"%ls\" (%d x %d)\n", L"\u30c7\u30a3\u30b9\u30af/\u97f3\u697d.png", 2, 3);
    EXPECT_EQ(line, "Loaded image: \"\xe3\x83\x87\xe3\x82\xa3\xe3\x82\xb9\xe3\x82\xaf/"
                    "\xe9\x9f\xb3\xe6\xa5\xbd.png\" (2 x 3)\n");
    SetLogSink({}, true);
}

}  // namespace
