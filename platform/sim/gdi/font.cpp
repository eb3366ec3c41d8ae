// Fonts, stock objects, device contexts, and text measured deterministically, so a
// layout computed from text comes out the same on every run.
#include "gdi/objects.h"

#include "core/internal.h"
#include "core/state.h"

#include <algorithm>
#include <cstring>
#include <map>

using namespace sim;
using namespace sim::detail;

namespace
{
constexpr ULONG_PTR kStockBase = 0x8000;
constexpr int kStockCount = 20;
constexpr LONG kSystemCell = 16;

struct Gdi : PartBase
{
    std::map<ULONG_PTR, std::shared_ptr<GdiObject>> objects;
    std::map<ULONG_PTR, std::shared_ptr<DeviceContext>> contexts;
    ULONG_PTR nextObject = 0x50010;
    ULONG_PTR nextContext = 0x60010;
};

Gdi& gdi()
{
    return Part<Gdi>();
}

bool IsStock(HGDIOBJ h)
{
    auto v = reinterpret_cast<ULONG_PTR>(h);
    return v >= kStockBase && v < kStockBase + kStockCount;
}

HGDIOBJ Stock(int index)
{
    return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<ULONG_PTR>(index));
}

LOGFONTW StockFont(int index)
{
    LOGFONTW lf{};
    lf.lfHeight = index == DEFAULT_GUI_FONT ? -11 : kSystemCell;
    lf.lfWeight = index == SYSTEM_FONT ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    const char16_t* face = index == SYSTEM_FONT ? u"System" : u"Shell Dlg";
    std::copy(face, face + std::char_traits<char16_t>::length(face), lf.lfFaceName);
    return lf;
}

bool IsStockFont(int index)
{
    return index >= 10 && index <= 17 && index != 15; // the fonts among the stock objects
}

// The logical font a context measures with.
LOGFONTW FontOf(HDC dc)
{
    auto context = FindDeviceContext(dc);
    HFONT font = context ? context->font : nullptr;
    if (IsStock(font))
    {
        int index = static_cast<int>(reinterpret_cast<ULONG_PTR>(font) - kStockBase);
        return IsStockFont(index) ? StockFont(index) : StockFont(SYSTEM_FONT);
    }
    if (auto f = FindGdiObjectOf<Font>(font))
        return f->logFont;
    return StockFont(SYSTEM_FONT);
}

LONG Cell(const LOGFONTW& lf)
{
    return lf.lfHeight == 0 ? kSystemCell : std::max<LONG>(1, std::abs(lf.lfHeight));
}

LONG CharWidth(const LOGFONTW& lf, char16_t c)
{
    LONG narrow = std::max<LONG>(1, (Cell(lf) + 1) / 2);
    bool wide = c >= 0x1100 && !(c >= 0xFF61 && c <= 0xFF9F); // half-width katakana stay narrow
    return wide ? 2 * narrow : narrow;
}

LONG Width(const LOGFONTW& lf, WStringView text, bool expandTabs)
{
    LONG w = 0;
    for (char16_t c : text)
        w += c == u'\t' && expandTabs ? 8 * CharWidth(lf, u' ') : CharWidth(lf, c);
    return w;
}

// Splits text into the lines DrawText would show: at line breaks, and with word break where a line
// would pass `limit` (a word longer than the line is broken where it must be).
std::vector<WString> Lines(const LOGFONTW& lf, WStringView text, UINT format, LONG limit)
{
    std::vector<WString> lines;
    bool single = format & DT_SINGLELINE;
    bool wrap = (format & DT_WORDBREAK) && !single;
    bool tabs = format & DT_EXPANDTABS;
    size_t start = 0;
    while (start <= text.size())
    {
        size_t end = single ? text.size() : text.find(u'\n', start);
        if (end == WStringView::npos)
            end = text.size();
        WStringView para = text.substr(start, end - start);
        if (!para.empty() && para.back() == u'\r')
            para.remove_suffix(1);
        if (!wrap)
            lines.emplace_back(para);
        else
        {
            WString line;
            size_t i = 0;
            do
            {
                size_t space = para.find(u' ', i);
                WStringView word = para.substr(i, space == WStringView::npos ? WStringView::npos : space - i);
                WString candidate = line.empty() ? WString(word) : line + u' ' + WString(word);
                if (!line.empty() && Width(lf, candidate, tabs) > limit)
                {
                    lines.push_back(line);
                    line = WString(word);
                }
                else
                    line = candidate;
                while (line.size() > 1 && Width(lf, line, tabs) > limit)
                {
                    size_t fit = 1;
                    while (fit < line.size() &&
                           Width(lf, WStringView(line).substr(0, fit + 1), tabs) <= limit)
                        ++fit;
                    lines.push_back(line.substr(0, fit));
                    line.erase(0, fit);
                }
                i = space == WStringView::npos ? para.size() + 1 : space + 1;
            } while (i <= para.size());
            lines.push_back(line);
        }
        if (end >= text.size())
            break;
        start = end + 1;
    }
    return lines;
}

HFONT MakeFont(const LOGFONTW& lf)
{
    auto f = std::make_shared<Font>();
    f->logFont = lf;
    f->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
    return static_cast<HFONT>(AddGdiObject(f));
}
} // namespace

namespace sim::detail
{
HGDIOBJ AddGdiObject(std::shared_ptr<GdiObject> object)
{
    std::lock_guard g(StateLock());
    Gdi& s = gdi();
    ULONG_PTR h = s.nextObject;
    s.nextObject += 4;
    s.objects[h] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(h);
}

std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle)
{
    std::lock_guard g(StateLock());
    auto& objects = gdi().objects;
    auto it = objects.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == objects.end() ? nullptr : it->second;
}

HGDIOBJ StockGdiObject(int index)
{
    return index > NULL_BRUSH && index < kStockCount ? Stock(index) : nullptr;
}

std::shared_ptr<DeviceContext> FindDeviceContext(HDC dc)
{
    std::lock_guard g(StateLock());
    auto& contexts = gdi().contexts;
    auto it = contexts.find(reinterpret_cast<ULONG_PTR>(dc));
    return it == contexts.end() ? nullptr : it->second;
}

HDC AddDeviceContext(std::shared_ptr<DeviceContext> context)
{
    std::lock_guard g(StateLock());
    Gdi& s = gdi();
    ULONG_PTR h = s.nextContext;
    s.nextContext += 4;
    s.contexts[h] = std::move(context);
    return reinterpret_cast<HDC>(h);
}

bool RemoveDeviceContext(HDC dc)
{
    std::lock_guard g(StateLock());
    auto& contexts = gdi().contexts;
    auto it = contexts.find(reinterpret_cast<ULONG_PTR>(dc));
    if (it == contexts.end())
        return false;
    if (auto b = FindGdiObjectOf<Bitmap>(it->second->bitmap))
        b->selectedInto = nullptr; // a DC deleted with its bitmap selected lets the bitmap go
    contexts.erase(it);
    return true;
}

size_t CountGdiObjects()
{
    std::lock_guard g(StateLock());
    return gdi().objects.size();
}

size_t CountDeviceContexts()
{
    std::lock_guard g(StateLock());
    return gdi().contexts.size();
}

HBITMAP DefaultBitmap()
{
    return reinterpret_cast<HBITMAP>(kStockBase + 0x100);
}
} // namespace sim::detail

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font)
{
    if (!font)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return MakeFont(*font);
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* font)
{
    if (!font)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    LOGFONTW lf{};
    std::memcpy(&lf, font, offsetof(LOGFONTA, lfFaceName));
    WString face = Widen(std::string_view(font->lfFaceName, strnlen(font->lfFaceName, LF_FACESIZE)));
    std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), lf.lfFaceName);
    return MakeFont(lf);
}

HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName)
{
    LOGFONTW lf{height,
                width,
                escapement,
                orientation,
                weight,
                static_cast<BYTE>(italic),
                static_cast<BYTE>(underline),
                static_cast<BYTE>(strikeOut),
                static_cast<BYTE>(charSet),
                static_cast<BYTE>(outPrecision),
                static_cast<BYTE>(clipPrecision),
                static_cast<BYTE>(quality),
                static_cast<BYTE>(pitchAndFamily),
                {}};
    if (faceName)
        std::copy_n(faceName, std::min<size_t>(std::char_traits<char16_t>::length(faceName), LF_FACESIZE - 1),
                    lf.lfFaceName);
    return MakeFont(lf);
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                         DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision,
                         DWORD clipPrecision, DWORD quality, DWORD pitchAndFamily, LPCSTR faceName)
{
    WString face = faceName ? Widen(faceName) : WString();
    return CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                       outPrecision, clipPrecision, quality, pitchAndFamily,
                       faceName ? face.c_str() : nullptr);
}

int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer)
{
    LOGFONTW lf{};
    if (IsStock(object))
    {
        int index = static_cast<int>(reinterpret_cast<ULONG_PTR>(object) - kStockBase);
        if (!IsStockFont(index))
            return 0;
        lf = StockFont(index);
    }
    else if (auto f = FindGdiObjectOf<Font>(object))
        lf = f->logFont;
    else if (auto b = FindGdiObjectOf<Bitmap>(object); b || object == DefaultBitmap())
    {
        BITMAP bitmap = b ? b->bitmap : BITMAP{0, 1, 1, 2, 1, 1, nullptr};
        if (!buffer)
            return sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP)))
            return 0;
        std::memcpy(buffer, &bitmap, sizeof(BITMAP));
        return sizeof(BITMAP);
    }
    else if (auto p = FindGdiObjectOf<Palette>(object))
    {
        if (!buffer)
            return sizeof(WORD);
        if (size < static_cast<int>(sizeof(WORD)))
            return 0;
        WORD count = static_cast<WORD>(p->entries.size());
        std::memcpy(buffer, &count, sizeof count);
        return sizeof(WORD);
    }
    else
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!buffer)
        return sizeof(LOGFONTW);
    int n = std::min<int>(size, sizeof(LOGFONTW));
    if (n <= 0)
        return 0;
    std::memcpy(buffer, &lf, static_cast<size_t>(n));
    return n;
}

int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID buffer)
{
    LOGFONTW lf{};
    int got = GetObjectW(object, sizeof lf, &lf);
    if (got != static_cast<int>(sizeof(LOGFONTW)))
        return got == 0 ? 0 : GetObjectW(object, size, buffer); // a palette: no text inside
    if (!buffer)
        return sizeof(LOGFONTA);
    LOGFONTA a{};
    std::memcpy(&a, &lf, offsetof(LOGFONTA, lfFaceName));
    std::string face = Narrow(WStringView(lf.lfFaceName));
    std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), a.lfFaceName);
    int n = std::min<int>(size, sizeof(LOGFONTA));
    if (n <= 0)
        return 0;
    std::memcpy(buffer, &a, static_cast<size_t>(n));
    return n;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object)
{
    std::lock_guard g(StateLock());
    auto context = FindDeviceContext(dc);
    if (!context || !object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object == DefaultBitmap() || FindGdiObjectOf<Bitmap>(object))
    {
        if (!context->memory)
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto incoming = FindGdiObjectOf<Bitmap>(object);
        if (incoming && incoming->selectedInto && incoming->selectedInto != dc)
        {
            SetLastError(ERROR_INVALID_PARAMETER); // a bitmap is in one DC at a time
            return nullptr;
        }
        HBITMAP old = context->bitmap ? context->bitmap : DefaultBitmap();
        if (auto previous = FindGdiObjectOf<Bitmap>(context->bitmap))
            previous->selectedInto = nullptr;
        context->bitmap = incoming ? static_cast<HBITMAP>(object) : nullptr;
        if (incoming)
            incoming->selectedInto = dc;
        return old;
    }
    bool font = false;
    if (IsStock(object))
        font = IsStockFont(static_cast<int>(reinterpret_cast<ULONG_PTR>(object) - kStockBase));
    else if (FindGdiObjectOf<Font>(object))
        font = true;
    if (!font) // brushes and pens are taken and not kept
        return GetStockObject(WHITE_BRUSH);
    return std::exchange(context->font, static_cast<HFONT>(object));
}

BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    if (!object)
        return FALSE;
    if (IsStock(object) || object == DefaultBitmap())
        return TRUE;
    if (DeleteSolidBrush(object))
        return TRUE;
    std::lock_guard g(StateLock());
    if (auto b = FindGdiObjectOf<Bitmap>(object); b && b->selectedInto)
        return FALSE; // still selected into a DC
    return gdi().objects.erase(reinterpret_cast<ULONG_PTR>(object)) ? TRUE : FALSE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size)
{
    if (!FindDeviceContext(dc) || !size || count < 0 || (count > 0 && !text))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LOGFONTW lf = FontOf(dc);
    size->cx = Width(lf, WStringView(text ? text : u"", static_cast<size_t>(count)), false);
    size->cy = Cell(lf);
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, LPSIZE size)
{
    if (count < 0 || (count > 0 && !text))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WString wide = Widen(std::string_view(text ? text : "", static_cast<size_t>(count)));
    return GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), size);
}

BOOL WINAPI GetTextMetricsW(HDC dc, LPTEXTMETRICW metrics)
{
    if (!FindDeviceContext(dc) || !metrics)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    LOGFONTW lf = FontOf(dc);
    *metrics = TEXTMETRICW{};
    metrics->tmHeight = Cell(lf);
    metrics->tmAscent = Cell(lf) * 3 / 4;
    metrics->tmDescent = Cell(lf) - metrics->tmAscent;
    metrics->tmAveCharWidth = CharWidth(lf, u'x');
    metrics->tmMaxCharWidth = CharWidth(lf, u'\x3042');
    metrics->tmWeight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
    metrics->tmFirstChar = u' ';
    metrics->tmLastChar = u'\xFFFC';
    metrics->tmDefaultChar = u'?';
    metrics->tmBreakChar = u' ';
    metrics->tmItalic = lf.lfItalic;
    metrics->tmUnderlined = lf.lfUnderline;
    metrics->tmCharSet = lf.lfCharSet;
    return TRUE;
}

// Nothing is drawn on the desktop; what is measured is what a window would show.
int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format)
{
    if (!FindDeviceContext(dc) || !text || !rect)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WStringView view = count < 0 ? WStringView(text) : WStringView(text, static_cast<size_t>(count));
    LOGFONTW lf = FontOf(dc);
    auto lines = Lines(lf, view, format, std::max<LONG>(1, rect->right - rect->left));
    LONG height = static_cast<LONG>(lines.size()) * Cell(lf);
    if (format & DT_CALCRECT)
    {
        LONG width = 0;
        for (const WString& l : lines)
            width = std::max(width, Width(lf, l, format & DT_EXPANDTABS));
        rect->right = rect->left + width;
        rect->bottom = rect->top + height;
    }
    return height;
}

int WINAPI DrawTextA(HDC dc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    if (!text)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WString wide =
        Widen(count < 0 ? std::string_view(text) : std::string_view(text, static_cast<size_t>(count)));
    return DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), rect, format);
}
