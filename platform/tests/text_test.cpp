#include <gtest/gtest.h>

#include <sim/machine.h>

#include <cstring>

namespace
{
WString ToWide(UINT cp, const char* bytes)
{
    WCHAR buf[32] = {};
    int n = MultiByteToWideChar(cp, 0, bytes, -1, buf, 32);
    return n > 0 ? WString(buf, static_cast<size_t>(n - 1)) : WString(u"<failed>");
}

std::string ToNarrow(UINT cp, const WString& wide, BOOL* usedDefault = nullptr)
{
    char buf[32] = {};
    int n = WideCharToMultiByte(cp, 0, wide.c_str(), -1, buf, 32, nullptr, usedDefault);
    return n > 0 ? std::string(buf, static_cast<size_t>(n - 1)) : std::string("<failed>");
}

TEST(Text, CodePagesConvertAsWindowsDoes)
{
    struct Row
    {
        UINT cp;
        const char* narrow;
        const char16_t* wide;
    };
    const Row rows[] = {
        {1252, "\x80\xe9", u"\u20ac\u00e9"},
        {1252, "\x81\x8d", u"\u0081\u008d"}, // bytes 1252 leaves undefined keep their value
        {932, "\x83\x65\x83\x58\x83\x67", u"\u30c6\u30b9\u30c8"},
        {932, "\xb1", u"\uff71"}, // half-width katakana
        {CP_UTF8, "\xe6\x97\xa5", u"\u65e5"},
    };
    for (const Row& r : rows)
    {
        EXPECT_EQ(ToWide(r.cp, r.narrow), r.wide) << r.cp << " " << r.narrow;
        EXPECT_EQ(ToNarrow(r.cp, r.wide), r.narrow) << r.cp;
    }
}

TEST(Text, AnsiCodePageFollowsTheMachineAndUnmappableBecomesDefault)
{
    auto& m = sim::machine();
    EXPECT_EQ(ToWide(CP_ACP, "\x83\x65"), u"\u0192e");
    m.SetCodePage(932);
    EXPECT_EQ(GetACP(), 932u);
    EXPECT_EQ(ToWide(CP_ACP, "\x83\x65"), u"\u30c6");

    BOOL usedDefault = FALSE;
    EXPECT_EQ(ToNarrow(CP_ACP, u"a\u00e9b", &usedDefault), "a?b");
    EXPECT_TRUE(usedDefault);
}

TEST(Text, BufferSizesFollowTheTwoCallProtocol)
{
    const char* text = "abc";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 4);
    WCHAR small[3];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, small, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    WCHAR exact[4];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, exact, 4), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xff", 1, exact, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}
} // namespace
