// Brushes and the colours a device context draws text with. System and stock brushes are the
// machine's own objects: they live as long as it does and are never deleted by programs.
#include "core/internal.h"
#include "core/state.h"

#include <array>
#include <map>
#include <memory>
#include <utility>

using namespace sim::detail;

namespace
{
struct Brush
{
    COLORREF color = 0;
    bool hollow = false;
};

struct DcColors
{
    int bkMode = OPAQUE;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
};

// The colours of the classic scheme for the indexes programs ask for.
constexpr std::pair<int, COLORREF> kSystemColors[] = {
    {COLOR_WINDOW, RGB(255, 255, 255)},
    {COLOR_WINDOWTEXT, RGB(0, 0, 0)},
    {COLOR_BTNFACE, RGB(240, 240, 240)},
};

struct Brushes : PartBase
{
    std::map<int, std::unique_ptr<Brush>> system;
    std::array<std::unique_ptr<Brush>, NULL_BRUSH + 1> stock;
    std::map<HDC, DcColors> dcs; // by the value the caller holds: DCs are made by other parts
};

Brushes& brushes()
{
    return Part<Brushes>();
}

std::optional<COLORREF> SystemColor(int index)
{
    for (const auto& [i, color] : kSystemColors)
        if (i == index)
            return color;
    return std::nullopt;
}

// The DC's colours, or null (ERROR_INVALID_HANDLE) for no DC.
DcColors* Dc(HDC dc)
{
    if (!dc)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return &brushes().dcs[dc];
}
} // namespace

DWORD WINAPI GetSysColor(int index)
{
    return SystemColor(index).value_or(0);
}

HBRUSH WINAPI GetSysColorBrush(int index)
{
    auto color = SystemColor(index);
    if (!color)
        return nullptr;
    std::lock_guard g(StateLock());
    auto& slot = brushes().system[index];
    if (!slot)
        slot = std::make_unique<Brush>(Brush{*color, false});
    return reinterpret_cast<HBRUSH>(slot.get());
}

HGDIOBJ WINAPI GetStockObject(int object)
{
    if (object < WHITE_BRUSH || object > NULL_BRUSH)
        return nullptr;
    static constexpr COLORREF kStock[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                          RGB(64, 64, 64),    RGB(0, 0, 0),       RGB(0, 0, 0)};
    std::lock_guard g(StateLock());
    auto& slot = brushes().stock[static_cast<size_t>(object)];
    if (!slot)
        slot = std::make_unique<Brush>(Brush{kStock[object], object == NULL_BRUSH});
    return slot.get();
}

int WINAPI SetBkMode(HDC dc, int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? std::exchange(c->bkMode, mode) : 0;
}

int WINAPI GetBkMode(HDC dc)
{
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? c->bkMode : 0;
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color)
{
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? std::exchange(c->bkColor, color) : CLR_INVALID;
}

COLORREF WINAPI GetBkColor(HDC dc)
{
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? c->bkColor : CLR_INVALID;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color)
{
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? std::exchange(c->textColor, color) : CLR_INVALID;
}

COLORREF WINAPI GetTextColor(HDC dc)
{
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? c->textColor : CLR_INVALID;
}
