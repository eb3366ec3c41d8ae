// Brushes and the colours a device context draws text with. System and stock brushes are the
// machine's own objects: they live as long as it does and are never deleted by programs.
#include "core/internal.h"
#include "core/state.h"
#include "gdi/objects.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <utility>
#include <vector>

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
    std::map<HDC, DcColors> dcs;               // by the value the caller holds: DCs are made by other parts
    std::vector<std::unique_ptr<Brush>> solid; // CreateSolidBrush, until DeleteObject
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

std::optional<COLORREF> sim::detail::BrushColor(HBRUSH brush)
{
    auto value = reinterpret_cast<ULONG_PTR>(brush);
    if (value >= 1 && value <= 31) // a system colour index + 1, as window classes give them
        return SystemColor(static_cast<int>(value - 1));
    std::lock_guard g(StateLock());
    auto& b = brushes();
    auto is = [&](const std::unique_ptr<Brush>& slot) {
        return slot && reinterpret_cast<HBRUSH>(slot.get()) == brush;
    };
    for (auto& slot : b.stock)
        if (is(slot))
            return slot->hollow ? std::nullopt : std::optional<COLORREF>(slot->color);
    for (auto& [index, slot] : b.system)
        if (is(slot))
            return slot->color;
    for (auto& slot : b.solid)
        if (is(slot))
            return slot->color;
    return std::nullopt;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    std::lock_guard g(StateLock());
    auto& solid = brushes().solid;
    solid.push_back(std::make_unique<Brush>(Brush{color, false}));
    return reinterpret_cast<HBRUSH>(solid.back().get());
}

size_t sim::detail::CountSolidBrushes()
{
    std::lock_guard g(StateLock());
    return brushes().solid.size();
}

bool sim::detail::DeleteSolidBrush(HGDIOBJ object)
{
    std::lock_guard g(StateLock());
    auto& solid = brushes().solid;
    auto it = std::find_if(solid.begin(), solid.end(), [&](const std::unique_ptr<Brush>& b) {
        return static_cast<HGDIOBJ>(b.get()) == object;
    });
    if (it == solid.end())
        return false;
    solid.erase(it);
    return true;
}

HGDIOBJ WINAPI GetStockObject(int object)
{
    if (object > NULL_BRUSH) // fonts and the palette are the desktop's graphics objects
        return StockGdiObject(object);
    if (object < WHITE_BRUSH)
        return nullptr;
    static constexpr COLORREF kStock[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128),
                                          RGB(64, 64, 64),    RGB(0, 0, 0),       RGB(0, 0, 0)};
    std::lock_guard g(StateLock());
    auto& slot = brushes().stock[static_cast<size_t>(object)];
    if (!slot)
        slot = std::make_unique<Brush>(Brush{kStock[object], object == NULL_BRUSH});
    return slot.get();
}

namespace
{
// Runs `f` on the DC's colours under the state lock; `fail` for no DC.
template <typename R, typename F> R WithDc(HDC dc, R fail, F f)
{
    std::lock_guard g(StateLock());
    DcColors* c = Dc(dc);
    return c ? f(*c) : fail;
}
} // namespace

int WINAPI SetBkMode(HDC dc, int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return WithDc(dc, 0, [&](DcColors& c) { return std::exchange(c.bkMode, mode); });
}

int WINAPI GetBkMode(HDC dc)
{
    return WithDc(dc, 0, [](DcColors& c) { return c.bkMode; });
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF color)
{
    return WithDc(dc, COLORREF{CLR_INVALID}, [&](DcColors& c) { return std::exchange(c.bkColor, color); });
}

COLORREF WINAPI GetBkColor(HDC dc)
{
    return WithDc(dc, COLORREF{CLR_INVALID}, [](DcColors& c) { return c.bkColor; });
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color)
{
    return WithDc(dc, COLORREF{CLR_INVALID}, [&](DcColors& c) { return std::exchange(c.textColor, color); });
}

COLORREF WINAPI GetTextColor(HDC dc)
{
    return WithDc(dc, COLORREF{CLR_INVALID}, [](DcColors& c) { return c.textColor; });
}
