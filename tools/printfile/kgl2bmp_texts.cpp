#include "kgl2bmp_texts.h"

#include "kgl2bmp_resource.h"

#include <array>
#include <string>

namespace kgl2bmp
{
namespace
{
using printfile::RenderError;

constexpr UiText kTexts[] = {
    {TextTarget::Control, IDC_PATH_CAPTION, TEXT("KORIGRAPH file (*.kgl;*.prn)"),
     TEXT("KORIGRAPH ファイル (*.kgl;*.prn)")},
    {TextTarget::Control, IDC_FILE_GROUP, TEXT("File information"), TEXT("ファイル情報")},
    {TextTarget::Control, IDC_PAGES_CAPTION, TEXT("Total Pages:"), TEXT("総ページ数:")},
    {TextTarget::Control, IDC_DPI_CAPTION, TEXT("Resolution (dpi):"), TEXT("解像度 (dpi):")},
    {TextTarget::Control, IDC_PAGE_GROUP, TEXT("Page information"), TEXT("ページ情報")},
    {TextTarget::Control, IDC_PAGE_CAPTION, TEXT("&Page:"), TEXT("ページ:")},
    {TextTarget::Control, IDC_COPIES_CAPTION, TEXT("Number of Copies:"), TEXT("部数:")},
    {TextTarget::Control, IDC_SETS_CAPTION, TEXT("Number of Sets:"), TEXT("組数:")},
    {TextTarget::Control, IDC_BROWSE, TEXT("&Open"), TEXT("開く(&O)")},
    {TextTarget::Control, IDC_SAVE, TEXT("&Save"), TEXT("保存(&S)")},
    {TextTarget::MenuItem, IDM_OPEN, TEXT("&Open"), TEXT("KORIGRAPH ファイルを開く(&O)")},
    {TextTarget::MenuItem, IDM_SAVE, TEXT("&Save"), TEXT("イメージを保存(&S)")},
    {TextTarget::MenuItem, IDM_EXIT, TEXT("E&xit"), TEXT("終了(&X)")},
    {TextTarget::MenuItem, IDM_ABOUT, TEXT("&About"), TEXT("バージョン情報(&A)")},
    {TextTarget::MenuBarItem, 0, TEXT("&File"), TEXT("ファイル(&F)")},
    {TextTarget::MenuBarItem, 1, TEXT("&View"), TEXT("表示(&V)")},
    {TextTarget::MenuBarItem, 2, TEXT("&Help"), TEXT("ヘルプ(&H)")},
};

WString Widen(const std::string& ascii)
{
    return WString(ascii.begin(), ascii.end());
}

// Decimal digits, zero-padded to `width` as "%0<width>lu" pads them.
WString Decimal(uint64_t value, size_t width = 0)
{
    WString digits = Widen(std::to_string(value));
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), TEXT('0'));
    return digits;
}

// Fills the "%lu" and "%0<n>lu" fields of a coverage text in order; "%%" is a percent sign. The
// counts are 64-bit, so a large sheet is never shown wrapped.
WString FillCounts(WStringView format, std::span<const uint64_t> values)
{
    WString out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i)
    {
        if (format[i] != TEXT('%') || i + 1 == format.size())
        {
            out += format[i];
            continue;
        }
        ++i;
        if (format[i] == TEXT('%'))
        {
            out += TEXT('%');
            continue;
        }
        size_t width = 0;
        while (i < format.size() && format[i] >= TEXT('0') && format[i] <= TEXT('9'))
            width = width * 10 + static_cast<size_t>(format[i++] - TEXT('0'));
        while (i < format.size() && format[i] == TEXT('l'))
            ++i;
        // The texts hold only unsigned fields; anything else is shown as it stands.
        if (i < format.size() && format[i] == TEXT('u') && next < values.size())
            out += Decimal(values[next++], width);
    }
    return out;
}

LPCWSTR ReasonText(WORD language, RenderError error)
{
    switch (error)
    {
    case RenderError::None:
        break;
    case RenderError::NoData:
        return Pick(language, TEXT("The page's data is not in the file."),
                    TEXT("ページのデータがファイルにありません。"));
    case RenderError::NoBands:
        return Pick(language, TEXT("The page has no image data."),
                    TEXT("ページにイメージ データがありません。"));
    case RenderError::NoPageEnd:
        return Pick(language, TEXT("The page is cut off before its end."),
                    TEXT("ページが途中で切れています。"));
    case RenderError::BandOutsidePage:
    case RenderError::DamagedBand:
        return Pick(language, TEXT("The page's image data is damaged."),
                    TEXT("ページのイメージ データが壊れています。"));
    case RenderError::BadPageSize:
        return Pick(language, TEXT("The page has no usable paper size or resolution."),
                    TEXT("ページの用紙サイズまたは解像度が使えません。"));
    case RenderError::TooLarge:
        return Pick(language, TEXT("The page is too large to convert."),
                    TEXT("ページが大きすぎて変換できません。"));
    case RenderError::OutOfMemory:
        return Pick(language, TEXT("There is not enough memory for the page."),
                    TEXT("ページを変換するメモリが足りません。"));
    case RenderError::CreateFailed:
        return Pick(language, TEXT("The bitmap file cannot be created."),
                    TEXT("ビットマップ ファイルを作成できません。"));
    case RenderError::WriteFailed:
        return Pick(language, TEXT("The bitmap file could not be written."),
                    TEXT("ビットマップ ファイルを書き込めませんでした。"));
    }
    return Pick(language, TEXT("Unknown error."), TEXT("不明なエラーです。"));
}

WString Pairs(std::initializer_list<LPCWSTR> strings)
{
    WString out;
    for (LPCWSTR s : strings)
    {
        out += WString(s);
        out += TEXT('\0');
    }
    out += TEXT('\0');
    return out;
}

} // namespace

std::span<const UiText> UiTexts()
{
    return kTexts;
}

LPCWSTR Pick(WORD language, LPCWSTR english, LPCWSTR japanese)
{
    return language == kJapanese ? japanese : english;
}

WString OpenFilter(WORD language)
{
    if (language == kJapanese)
        return Pairs({TEXT("KORIGRAPH ファイル (*.kgl;*prn)"), TEXT("*.kgl;*.prn"),
                      TEXT("すべてのファイル (*.*)"), TEXT("*.*")});
    return Pairs(
        {TEXT("KORIGRAPH Files (*.kgl;*prn)"), TEXT("*.kgl;*.prn"), TEXT("All Files (*.*)"), TEXT("*.*")});
}

WString SaveFilter(WORD language)
{
    return Pairs({Pick(language, TEXT("Monochrome Bitmap (*.bmp)"), TEXT("モノクロ ビットマップ (*.bmp)")),
                  TEXT("*.bmp")});
}

WString ProposedBitmapName(WStringView printFilePath, int page)
{
    const size_t folderEnd = printFilePath.find_last_of(TEXT("\\/:"));
    WStringView name = folderEnd == WStringView::npos ? printFilePath : printFilePath.substr(folderEnd + 1);
    if (const size_t dot = name.rfind(TEXT('.')); dot != WStringView::npos)
        name = name.substr(0, dot);
    if (name.empty() || page < 0)
        return {};
    WString proposal = WString(name) + TEXT(" page") + Decimal(static_cast<uint64_t>(page), 3);
    if (proposal.size() >= MAX_PATH)
        return {};
    return proposal;
}

WString CoverageText(WORD language, uint64_t black, uint64_t width, uint64_t height)
{
    WString format = WString(
        Pick(language,
             TEXT("Print Coverage:\t%lu.%04lu %%\r\n\r\nPerforations:\t%lu pixels\r\nThe entire paper:\t%lu "
                  "pixels"),
             TEXT("印字率:\t%lu.%04lu %%\r\n\r\n穿孔数:\t\t%lu pixels\r\n用紙全体の画素数:\t%lu pixels")));
    const uint64_t total = width * height;
    if (total == 0)
    {
        static constexpr WStringView percentage = TEXT("%lu.%04lu %%");
        format.replace(format.find(percentage), percentage.size(), TEXT("-"));
        const std::array<uint64_t, 2> counts{black, total};
        return FillCounts(format, counts);
    }
    // A rounded quotient, as MulDiv gives it, without its 32-bit limit.
    const uint64_t coverage = (black * 1000000 + total / 2) / total;
    const std::array<uint64_t, 4> values{coverage / 10000, coverage % 10000, black, total};
    return FillCounts(format, values);
}

WString SaveErrorText(WORD language, RenderError error)
{
    WString text = WString(Pick(language, TEXT("The image could not be saved.\r\n\r\n"),
                                TEXT("イメージを保存できませんでした。\r\n\r\n")));
    return text + WString(ReasonText(language, error));
}

WString OpenErrorText(WORD language)
{
    return WString(Pick(language, TEXT("The KORIGRAPH file cannot be opened."),
                        TEXT("KORIGRAPH ファイルを開けません。")));
}

WString FileDialogErrorText(WORD language, bool saving)
{
    const WString head = saving ? WString(Pick(language, TEXT("The image could not be saved."),
                                               TEXT("イメージを保存できませんでした。")))
                                : OpenErrorText(language);
    return head + TEXT("\r\n\r\n") +
           Pick(language, TEXT("The file dialog could not be shown."),
                TEXT("ファイル ダイアログを表示できませんでした。"));
}

AboutTexts MakeAboutTexts(DWORD versionMS, DWORD versionLS)
{
    const WORD build = LOWORD(versionLS);
    AboutTexts texts;
    texts.version = TEXT("Version ") + Decimal(HIWORD(versionMS)) + TEXT(".") + Decimal(LOWORD(versionMS), 2);
    texts.notice = TEXT("Copyright (C) VELMO 20") + Decimal(build >> 9, 2);
    return texts;
}

} // namespace kgl2bmp
