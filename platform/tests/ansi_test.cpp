// The 8-bit forms over the wide core, text measuring, CBT hooks and file attributes.
#include <platform/windows.h>
#include <sim/machine.h>

#include <gtest/gtest.h>

#include <string>

namespace
{

TEST(AnsiText, CharNextStepsOverDoubleByteCharactersOfTheCodePage)
{
    const char text[] = "a\x95\x5C\\b";
    EXPECT_EQ(CharNextA(text + 1), text + 2); // 1252: every byte is a character
    sim::machine().SetCodePage(932);
    EXPECT_EQ(CharNextA(text), text + 1);
    EXPECT_EQ(CharNextA(text + 1), text + 3); // lead byte and its 0x5C trail
    EXPECT_EQ(CharPrevA(text, text + 3), text + 1);
    const char cut[] = "\x95";
    EXPECT_EQ(CharNextA(cut), cut + 1); // a lead byte at the end stands alone
    EXPECT_EQ(CharNextA(cut + 1), cut + 1);
    EXPECT_TRUE(IsDBCSLeadByteEx(932, 0x81));
    EXPECT_FALSE(IsDBCSLeadByteEx(932, 0xA0)); // half-width katakana
    EXPECT_FALSE(IsDBCSLeadByteEx(1252, 0x81));
}

TEST(AnsiText, CompareWithoutCaseForAsciiLettersOnly)
{
    EXPECT_EQ(lstrcmpiA("Velmo", "vELMO"), 0);
    EXPECT_LT(lstrcmpiA("a", "B"), 0);
    EXPECT_NE(lstrcmpiA("\xC4", "\xE4"), 0);
    char buffer[4];
    lstrcpynA(buffer, "abcdef", 4);
    EXPECT_STREQ(buffer, "abc");
}

TEST(AnsiFiles, CopyAndAttributesAsWindowsKeepsThem)
{
    sim::files().Put(u"C:\\a\\src.ini", "one");
    ASSERT_TRUE(SetFileAttributesA("C:\\a\\src.ini", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesA("C:\\a\\src.ini") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(CopyFileA("C:\\a\\src.ini", "C:\\a\\dst.ini", TRUE));
    EXPECT_EQ(sim::files().Bytes(u"C:\\a\\dst.ini"), "one");
    DWORD copied = GetFileAttributesA("C:\\a\\dst.ini");
    EXPECT_TRUE(copied & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(copied & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(CopyFileA("C:\\a\\src.ini", "C:\\a\\dst.ini", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_FALSE(CopyFileA("C:\\a\\src.ini", "C:\\a\\dst.ini", FALSE)); // a read-only destination stays
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(SetFileAttributesA("C:\\a\\dst.ini", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesA("C:\\a\\dst.ini") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0u);
    EXPECT_TRUE(CopyFileA("C:\\a\\src.ini", "C:\\a\\dst.ini", FALSE));
    EXPECT_FALSE(CopyFileA("C:\\a\\none.ini", "C:\\a\\x.ini", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(SetFileAttributesA("C:\\nowhere\\x", FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(AnsiFiles, ExpandEnvironmentStringsCountsTheTerminator)
{
    char out[64];
    DWORD n = ExpandEnvironmentStringsA("%SystemRoot%\\x;%unknown%;%", out, sizeof out);
    EXPECT_STREQ(out, "C:\\Windows\\x;%unknown%;%");
    EXPECT_EQ(n, std::string(out).size() + 1);
    char small[4] = "zz";
    EXPECT_EQ(ExpandEnvironmentStringsA("%windir%", small, sizeof small), 11u);
    EXPECT_STREQ(small, "zz");
    char windows[4];
    EXPECT_EQ(GetWindowsDirectoryA(windows, sizeof windows), 11u); // the size needed
}

TEST(GdiText, MeasuresDeterministicallyWithTheSelectedFont)
{
    HDC dc = GetDC(nullptr);
    ASSERT_TRUE(dc);
    HFONT font = CreateFontA(-10, 0, 0, 0, FW_BOLD, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, "Face");
    ASSERT_TRUE(font);
    HGDIOBJ old = SelectObject(dc, font);
    ASSERT_TRUE(old);
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "abcd", 4, &size));
    EXPECT_EQ(size.cx, 20); // a 10-pixel cell is 5 wide
    EXPECT_EQ(size.cy, 10);
    ASSERT_TRUE(GetTextExtentPoint32W(dc, u"\x3042x", 2, &size));
    EXPECT_EQ(size.cx, 15); // a double-width character is twice as wide
    RECT r{0, 0, 50, 0};
    EXPECT_EQ(DrawTextA(dc, "one two three fours", -1, &r, DT_CALCRECT | DT_WORDBREAK), 30);
    EXPECT_EQ(r.bottom, 30); // "one two" / "three" / "fours"
    EXPECT_EQ(r.right, 35);
    r = RECT{0, 0, 10, 0};
    EXPECT_EQ(DrawTextA(dc, "abcdefg", -1, &r, DT_CALCRECT | DT_WORDBREAK), 40); // a long word is broken
    r = RECT{0, 0, 500, 0};
    EXPECT_EQ(DrawTextA(dc, "a\nb", -1, &r, DT_CALCRECT | DT_SINGLELINE), 10);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight, 10);
    EXPECT_EQ(tm.tmCharSet, SHIFTJIS_CHARSET);
    LOGFONTA lf{};
    ASSERT_EQ(GetObjectA(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    EXPECT_STREQ(lf.lfFaceName, "Face");
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    EXPECT_EQ(SelectObject(dc, old), font);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_FALSE(DeleteObject(font));
    EXPECT_EQ(ReleaseDC(nullptr, dc), 1);
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "a", 1, &size));
}

TEST(GdiDib, PalettesAndBitmapsAreCheckedAsGdiChecksThem)
{
    HDC dc = GetDC(nullptr);
    BYTE buffer[sizeof(LOGPALETTE) + 3 * sizeof(PALETTEENTRY)] = {};
    auto* log = reinterpret_cast<LOGPALETTE*>(buffer);
    log->palVersion = 0x300;
    log->palNumEntries = 4;
    HPALETTE palette = CreatePalette(log);
    ASSERT_TRUE(palette);
    EXPECT_TRUE(SelectPalette(dc, palette, FALSE));
    EXPECT_EQ(RealizePalette(dc), 4u);
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 2, -3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    BYTE pixels[24] = {};
    EXPECT_EQ(StretchDIBits(dc, 0, 0, -2, 3, 0, 0, 2, 3, pixels, &info, DIB_RGB_COLORS, SRCCOPY), 3);
    info.bmiHeader.biSize = 12;
    EXPECT_EQ(StretchDIBits(dc, 0, 0, 2, 3, 0, 0, 2, 3, pixels, &info, DIB_RGB_COLORS, SRCCOPY), 0);
    EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 2, 3, 0, 0, 2, 3, pixels, &info, DIB_RGB_COLORS, SRCCOPY), 0);
    ReleaseDC(nullptr, dc);
    DeleteObject(palette);
}

HHOOK g_first = nullptr;
HHOOK g_second = nullptr;
std::string g_calls;

LRESULT CALLBACK FirstHook(int code, WPARAM wParam, LPARAM lParam)
{
    g_calls += "first;";
    if (code == HCBT_ACTIVATE) // moves the box before it shows
        SetWindowPos(reinterpret_cast<HWND>(wParam), nullptr, 7, 9, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return CallNextHookEx(g_first, code, wParam, lParam);
}

LRESULT CALLBACK SecondHook(int code, WPARAM wParam, LPARAM lParam)
{
    g_calls += "second;";
    return CallNextHookEx(g_second, code, wParam, lParam);
}

TEST(CbtHooks, SeeAMessageBoxActivateLatestFirst)
{
    g_calls.clear();
    DWORD answer = sim::desktop().Run(
        [] {
            g_first = SetWindowsHookExA(WH_CBT, FirstHook, nullptr, GetCurrentThreadId());
            g_second = SetWindowsHookExA(WH_CBT, SecondHook, nullptr, GetCurrentThreadId());
            int result = MessageBoxA(nullptr, "text", "caption", MB_OK);
            UnhookWindowsHookEx(g_second);
            UnhookWindowsHookEx(g_first);
            EXPECT_FALSE(UnhookWindowsHookEx(g_first));
            return static_cast<DWORD>(result);
        },
        [] {
            auto box = sim::desktop().MessageBox();
            ASSERT_TRUE(box);
            EXPECT_EQ(box->rect.left, 7);
            EXPECT_EQ(box->rect.top, 9);
            sim::desktop().AnswerMessageBox(IDOK);
        });
    EXPECT_EQ(answer, static_cast<DWORD>(IDOK));
    EXPECT_EQ(g_calls, "second;first;");
    EXPECT_FALSE(SetWindowsHookExA(WH_CBT, FirstHook, nullptr, GetCurrentThreadId() + 1000));
}

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(AnsiWindows, FindByTitleWithoutCaseAndTheLastActivePopup)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.lpszClassName = "PlainWindow";
    ASSERT_TRUE(RegisterClassA(&wc));
    EXPECT_FALSE(RegisterClassA(&wc));
    HWND main = CreateWindowExA(0, "PlainWindow", "Main Title", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_TRUE(main);
    EXPECT_EQ(FindWindowA(nullptr, "MAIN title"), main);
    EXPECT_EQ(FindWindowA("plainwindow", nullptr), main);
    EXPECT_EQ(GetLastActivePopup(main), main);
    HWND popup = CreateWindowExA(0, "PlainWindow", "Popup", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, main,
                                 nullptr, nullptr, nullptr);
    EXPECT_EQ(GetLastActivePopup(main), popup);
    char text[8];
    EXPECT_EQ(GetWindowTextA(main, text, sizeof text), 7);
    EXPECT_STREQ(text, "Main Ti");
    HMENU menu = GetSystemMenu(main, FALSE);
    ASSERT_TRUE(menu);
    EXPECT_TRUE(RemoveMenu(menu, SC_RESTORE, MF_BYCOMMAND));
    EXPECT_FALSE(RemoveMenu(menu, SC_RESTORE, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    EXPECT_NE(GetMenuState(GetSystemMenu(main, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    DestroyWindow(popup);
    DestroyWindow(main);
}

} // namespace
