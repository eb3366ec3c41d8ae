#include <gtest/gtest.h>

#include <platform/windows.h>
#include <sim/machine.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{
HINSTANCE Self()
{
    return GetModuleHandleW(nullptr);
}

void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>(v >> (8 * i) & 0xFF);
}

void Put16(std::string& s, uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

// A bottom-up .bmp file; rows are given top first as COLORREFs. 8-bit files index `palette`.
std::string BmpFile(int width, const std::vector<std::vector<COLORREF>>& rows, int bits,
                    const std::vector<COLORREF>& palette = {})
{
    int height = static_cast<int>(rows.size());
    int stride = (width * bits + 31) / 32 * 4;
    std::string pixels;
    for (int y = height - 1; y >= 0; --y)
    {
        std::string row;
        for (int x = 0; x < width; ++x)
        {
            COLORREF c = rows[static_cast<size_t>(y)][static_cast<size_t>(x)];
            if (bits == 8)
            {
                size_t index = 0;
                while (palette[index] != c)
                    ++index;
                row += static_cast<char>(index);
            }
            else
                row += std::string{static_cast<char>(GetBValue(c)), static_cast<char>(GetGValue(c)),
                                   static_cast<char>(GetRValue(c))};
        }
        row.resize(static_cast<size_t>(stride), '\0');
        pixels += row;
    }
    std::string table;
    for (COLORREF c : palette)
        Put32(table, static_cast<uint32_t>(GetBValue(c) | GetGValue(c) << 8 | GetRValue(c) << 16));
    std::string out = "BM";
    uint32_t offset = 14 + 40 + static_cast<uint32_t>(table.size());
    Put32(out, offset + static_cast<uint32_t>(pixels.size()));
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(bits));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(pixels.size()));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, static_cast<uint32_t>(palette.size()));
    Put32(out, 0);
    return out + table + pixels;
}

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr int kPicture24 = 301;
constexpr int kPicture8 = 302;
constexpr int kForm = 100;
constexpr int kOwnerStatic = 1012;
constexpr int kOwnerButton = 1001;

// Resources of the test program written beside it: two small pictures and a dialog with an
// owner-drawn static and button.
class Gdi : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("gdi_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        Write("rgb.bmp", BmpFile(3, {{kRed, kGreen, kBlue}, {kMagenta, kMagenta, kRed}}, 24));
        Write("indexed.bmp", BmpFile(2, {{kBlue, kRed}, {kRed, kBlue}}, 8, {kRed, kBlue}));
        Write("gdi.rc", "#include <windows.h>\n"
                        "301 BITMAP \"rgb.bmp\"\n"
                        "302 BITMAP \"indexed.bmp\"\n"
                        "100 DIALOGEX 0, 0, 200, 120\n"
                        "STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_VISIBLE\n"
                        "CAPTION \"Pictures\"\n"
                        "FONT 8, \"MS Shell Dlg\"\n"
                        "BEGIN\n"
                        "    CONTROL \"\", 1012, \"Static\", SS_OWNERDRAW, 10, 10, 40, 30\n"
                        "    CONTROL \"\", 1001, \"Button\", BS_OWNERDRAW | WS_TABSTOP, 60, 10, 40, 30\n"
                        "    DEFPUSHBUTTON \"OK\", IDOK, 140, 100, 50, 14\n"
                        "END\n");
        sim::desktop().RegisterResources(u"test.exe", dir_ / "gdi.rc");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void Write(const char* name, const std::string& bytes)
    {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
    }

    std::filesystem::path dir_;
};

// The pixels of a bitmap, read through a memory DC.
std::vector<COLORREF> Pixels(HBITMAP bitmap)
{
    BITMAP info{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    std::vector<COLORREF> out;
    for (int y = 0; y < info.bmHeight; ++y)
        for (int x = 0; x < info.bmWidth; ++x)
            out.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteDC(dc);
    return out;
}

TEST_F(Gdi, ResourceBitmapsLoadWithTheirPixelsAndScaleToTheAskedSize)
{
    sim::GdiCounts before = sim::CountGdi();
    auto rgb = static_cast<HBITMAP>(LoadImageW(Self(), MAKEINTRESOURCEW(kPicture24), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(Pixels(rgb), (std::vector<COLORREF>{kRed, kGreen, kBlue, kMagenta, kMagenta, kRed}));

    auto indexed =
        static_cast<HBITMAP>(LoadImageW(Self(), MAKEINTRESOURCEW(kPicture8), IMAGE_BITMAP, 0, 0, 0));
    ASSERT_NE(indexed, nullptr);
    EXPECT_EQ(Pixels(indexed), (std::vector<COLORREF>{kBlue, kRed, kRed, kBlue}));

    // Twice the size: each pixel becomes a 2 x 2 block.
    auto big = static_cast<HBITMAP>(LoadImageW(Self(), MAKEINTRESOURCEW(kPicture8), IMAGE_BITMAP, 4, 4, 0));
    ASSERT_NE(big, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(big, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 4);
    EXPECT_EQ(info.bmHeight, 4);
    std::vector<COLORREF> p = Pixels(big);
    EXPECT_EQ(p[0], kBlue);
    EXPECT_EQ(p[1], kBlue);
    EXPECT_EQ(p[2], kRed);
    EXPECT_EQ(p[3 * 4 + 3], kBlue);
    EXPECT_EQ(p[3 * 4 + 0], kRed);

    SetLastError(0);
    EXPECT_EQ(LoadImageW(Self(), MAKEINTRESOURCEW(303), IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    sim::faults().FailNext("LoadImageW", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LoadImageW(Self(), MAKEINTRESOURCEW(kPicture24), IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));

    for (HBITMAP b : {rgb, indexed, big})
        EXPECT_TRUE(DeleteObject(b));
    EXPECT_EQ(sim::CountGdi(), before);
}

TEST_F(Gdi, MemoryDcsCopyStretchAndKeyOutAColour)
{
    sim::GdiCounts before = sim::CountGdi();
    auto picture =
        static_cast<HBITMAP>(LoadImageW(Self(), MAKEINTRESOURCEW(kPicture24), IMAGE_BITMAP, 0, 0, 0));
    HDC source = CreateCompatibleDC(nullptr);
    HGDIOBJ defaultBitmap = SelectObject(source, picture);
    ASSERT_NE(defaultBitmap, nullptr);

    HDC target = CreateCompatibleDC(source);
    HBITMAP canvas = CreateCompatibleBitmap(source, 8, 4);
    ASSERT_NE(canvas, nullptr);
    HGDIOBJ targetDefault = SelectObject(target, canvas);
    // A bitmap lives in one DC at a time, and is not deleted while selected.
    EXPECT_EQ(SelectObject(source, canvas), nullptr);
    EXPECT_FALSE(DeleteObject(canvas));

    RECT all{0, 0, 8, 4};
    EXPECT_TRUE(FillRect(target, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
    // Top row of the picture copied at (1, 0): red green blue.
    EXPECT_TRUE(BitBlt(target, 1, 0, 3, 1, source, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(target, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(target, 1, 0), kRed);
    EXPECT_EQ(GetPixel(target, 3, 0), kBlue);
    EXPECT_EQ(GetPixel(target, 4, 0), RGB(0, 0, 0));

    // The bottom row (magenta magenta red) keyed out on magenta and doubled: only red lands.
    EXPECT_TRUE(TransparentBlt(target, 0, 2, 6, 2, source, 0, 1, 3, 1, kMagenta));
    EXPECT_EQ(GetPixel(target, 0, 2), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(target, 3, 3), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(target, 4, 2), kRed);
    EXPECT_EQ(GetPixel(target, 5, 3), kRed);
    EXPECT_FALSE(TransparentBlt(target, 0, 0, 1, 1, source, 2, 1, 2, 1, kMagenta)); // past the source

    // Stretched mirror image of the top row over the whole width.
    EXPECT_EQ(SetStretchBltMode(target, HALFTONE), BLACKONWHITE);
    EXPECT_EQ(GetStretchBltMode(target), HALFTONE);
    EXPECT_TRUE(StretchBlt(target, 6, 0, -6, 1, source, 0, 0, 3, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(target, 0, 0), kBlue);
    EXPECT_EQ(GetPixel(target, 2, 0), kGreen);
    EXPECT_EQ(GetPixel(target, 5, 0), kRed);
    EXPECT_EQ(GetPixel(target, 6, 0), RGB(0, 0, 0)) << "past the mirrored rectangle";

    EXPECT_EQ(SelectObject(target, targetDefault), canvas);
    EXPECT_EQ(SelectObject(source, defaultBitmap), picture);
    EXPECT_TRUE(DeleteObject(canvas));
    EXPECT_TRUE(DeleteObject(picture));
    EXPECT_TRUE(DeleteDC(target));
    EXPECT_TRUE(DeleteDC(source));
    EXPECT_EQ(sim::CountGdi(), before);

    sim::faults().FailNext("CreateCompatibleDC", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
    HDC screen = GetDC(nullptr);
    sim::faults().FailNext("CreateCompatibleBitmap", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CreateCompatibleBitmap(screen, 4, 4), nullptr);
    ReleaseDC(nullptr, screen);
}

TEST_F(Gdi, ScreenDpiIsWhatTheDisplayIsSetTo)
{
    HDC screen = GetDC(nullptr);
    for (UINT dpi : {96u, 120u, 144u})
    {
        sim::MonitorSetup display;
        display.dpi = dpi;
        sim::desktop().SetMonitors({display});
        EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), static_cast<int>(dpi));
        EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), static_cast<int>(dpi));
    }
    ReleaseDC(nullptr, screen);
}

// Paints each owner-drawn control in a colour chosen by its id; `colour` changes the static's.
COLORREF g_staticColour = kRed;
std::vector<DRAWITEMSTRUCT> g_drawn;

INT_PTR CALLBACK PaintingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return TRUE;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        g_drawn.push_back(*item);
        HBRUSH brush = CreateSolidBrush(wParam == kOwnerStatic ? g_staticColour : kBlue);
        FillRect(item->hDC, &item->rcItem, brush);
        DeleteObject(brush);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, IDOK);
        return TRUE;
    default:
        return FALSE;
    }
}

TEST_F(Gdi, OwnerDrawnControlsAskTheirParentToDrawThemWhenShownAndInvalidated)
{
    g_staticColour = kRed;
    g_drawn.clear();
    sim::GdiCounts before = sim::CountGdi();
    HWND shown = nullptr;
    sim::desktop().Run(
        [] {
            return static_cast<DWORD>(
                DialogBoxParamW(Self(), MAKEINTRESOURCEW(kForm), nullptr, PaintingProc, 0));
        },
        [&] {
            HWND dialog = sim::desktop().TopWindow(u"Pictures");
            HWND preview = sim::desktop().Control(dialog, kOwnerStatic);
            shown = preview;
            HWND button = sim::desktop().Control(dialog, kOwnerButton);
            ASSERT_TRUE(sim::desktop().WaitIdle());
            ASSERT_EQ(g_drawn.size(), 2u); // once each, on showing
            for (const DRAWITEMSTRUCT& item : g_drawn)
            {
                EXPECT_EQ(item.CtlType, item.CtlID == kOwnerStatic ? ODT_STATIC : ODT_BUTTON);
                EXPECT_EQ(item.hwndItem, item.CtlID == kOwnerStatic ? preview : button);
                EXPECT_EQ(item.itemAction, static_cast<UINT>(ODA_DRAWENTIRE));
            }
            sim::Picture picture = sim::desktop().WaitIdle() ? sim::Drawn(preview) : sim::Picture{};
            ASSERT_FALSE(picture.Empty());
            RECT client{};
            GetClientRect(preview, &client);
            EXPECT_EQ(picture.width, client.right);
            EXPECT_EQ(picture.At(0, 0), kRed);
            EXPECT_EQ(picture.At(picture.width - 1, picture.height - 1), kRed);
            EXPECT_EQ(sim::Drawn(button).At(0, 0), kBlue);

            g_staticColour = kGreen;
            InvalidateRect(preview, nullptr, TRUE);
            ASSERT_TRUE(sim::desktop().WaitIdle());
            EXPECT_EQ(g_drawn.size(), 3u);
            EXPECT_EQ(sim::Drawn(preview).At(1, 1), kGreen);
            sim::desktop().Click(sim::desktop().Control(dialog, IDOK));
        });
    EXPECT_EQ(sim::CountGdi(), before);
    EXPECT_TRUE(sim::Drawn(shown).Empty()) << "nothing kept of destroyed windows";
}
} // namespace
