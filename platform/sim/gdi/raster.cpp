#include "gdi/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace sim::raster
{
namespace
{
BYTE RopByte(BYTE rop3, BYTE p, BYTE s, BYTE d)
{
    switch (rop3)
    {
    case 0x00:
        return 0;
    case 0xFF:
        return 0xFF;
    case 0xCC:
        return s;
    case 0xF0:
        return p;
    case 0xAA:
        return d;
    case 0x88:
        return s & d;
    case 0xEE:
        return s | d;
    case 0x66:
        return s ^ d;
    case 0x55:
        return static_cast<BYTE>(~d);
    default:
        break;
    }
    // Any other code: bit i of the code is the result for pattern, source, destination = i's bits.
    BYTE result = 0;
    for (int i = 0; i < 8; ++i)
        if (rop3 & (1 << i))
            result |= static_cast<BYTE>(((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d));
    return result;
}

void PutPixel(Surface& dst, LONG x, LONG y, COLORREF c)
{
    BYTE* p = dst.Row(y) + 3 * x;
    p[dst.rgbOrder ? 2 : 0] = GetBValue(c);
    p[1] = GetGValue(c);
    p[dst.rgbOrder ? 0 : 2] = GetRValue(c);
}

// Calls f(rect) for each part of `area` that the clip shows.
template <typename F> void ForEachVisible(const Clip& clip, const RECTL& area, F&& f)
{
    for (const RECTL& r : clip.Rects())
    {
        RECTL v = Intersect(r, area);
        if (!IsEmpty(v))
            f(v);
    }
}

RECTL Normalised(const RECTL& r)
{
    return RECTL{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
}
} // namespace

RECTL Intersect(const RECTL& a, const RECTL& b)
{
    return RECTL{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                 std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const RECTL& r)
{
    return r.left >= r.right || r.top >= r.bottom;
}

Clip Clip::Intersect(const RECTL& r) const
{
    std::vector<RECTL> out;
    for (const RECTL& c : rects_)
    {
        RECTL v = raster::Intersect(c, r);
        if (!IsEmpty(v))
            out.push_back(v);
    }
    return Clip(std::move(out));
}

COLORREF Source::Pixel(LONG x, LONG y) const
{
    const BYTE* row = bits + static_cast<std::ptrdiff_t>(y) * stride;
    switch (bitsPerPixel)
    {
    case 1: {
        int index = (row[x >> 3] >> (7 - (x & 7))) & 1;
        return index < paletteSize ? palette[index] : (index ? RGB(255, 255, 255) : RGB(0, 0, 0));
    }
    case 8: {
        int index = row[x];
        return index < paletteSize ? palette[index] : RGB(index, index, index);
    }
    case 32:
        return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    default:
        return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
}

void BitBlt(Surface& dst, const RECTL& dstRect, const Source* src, POINTL srcOrigin, COLORREF brush,
            BYTE rop3, const Clip& clip)
{
    RECTL area = Intersect(Normalised(dstRect), RECTL{0, 0, dst.width, dst.height});
    if (src)
    {
        // Only the part of the destination that has source pixels behind it is drawn.
        RECTL fromSource{dstRect.left + (0 - srcOrigin.x), dstRect.top + (0 - srcOrigin.y),
                         dstRect.left + (src->width - srcOrigin.x),
                         dstRect.top + (src->height - srcOrigin.y)};
        area = Intersect(area, fromSource);
    }
    const int bi = dst.rgbOrder ? 2 : 0, ri = 2 - bi;
    const BYTE pb = GetBValue(brush), pg = GetGValue(brush), pr = GetRValue(brush);
    ForEachVisible(clip, area, [&](const RECTL& v) {
        for (LONG y = v.top; y < v.bottom; ++y)
        {
            BYTE* d = dst.Row(y) + 3 * v.left;
            if (!src && rop3 == 0xF0)
            {
                for (LONG x = v.left; x < v.right; ++x, d += 3)
                {
                    d[bi] = pb;
                    d[1] = pg;
                    d[ri] = pr;
                }
                continue;
            }
            for (LONG x = v.left; x < v.right; ++x, d += 3)
            {
                COLORREF s =
                    src ? src->Pixel(srcOrigin.x + (x - dstRect.left), srcOrigin.y + (y - dstRect.top)) : 0;
                d[bi] = RopByte(rop3, pb, GetBValue(s), d[bi]);
                d[1] = RopByte(rop3, pg, GetGValue(s), d[1]);
                d[ri] = RopByte(rop3, pr, GetRValue(s), d[ri]);
            }
        }
    });
}

void StretchBlt(Surface& dst, const RECTL& dstRect, const Source& src, const RECTL& srcRectIn, bool smooth,
                const Clip& clip)
{
    RECTL srcRect = Intersect(Normalised(srcRectIn), RECTL{0, 0, src.width, src.height});
    RECTL to = Normalised(dstRect);
    if (IsEmpty(srcRect) || IsEmpty(to))
        return;
    bool mirrorX = dstRect.right < dstRect.left, mirrorY = dstRect.bottom < dstRect.top;
    const LONG dw = to.right - to.left, dh = to.bottom - to.top;
    const LONG sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;
    RECTL area = Intersect(to, RECTL{0, 0, dst.width, dst.height});
    ForEachVisible(clip, area, [&](const RECTL& v) {
        // Source columns covered by each destination column: [x0, x1).
        std::vector<LONG> columns(static_cast<size_t>(v.right - v.left) * 2);
        for (LONG x = v.left; x < v.right; ++x)
        {
            LONG dx = mirrorX ? (to.right - 1 - x) : (x - to.left);
            LONG x0 = srcRect.left + static_cast<LONG>(static_cast<long long>(dx) * sw / dw);
            LONG x1 = srcRect.left + static_cast<LONG>((static_cast<long long>(dx) + 1) * sw / dw);
            if (!smooth || x1 <= x0)
                x1 = x0 + 1;
            columns[2 * static_cast<size_t>(x - v.left)] = x0;
            columns[2 * static_cast<size_t>(x - v.left) + 1] = x1;
        }
        const int bi = dst.rgbOrder ? 2 : 0, ri = 2 - bi;
        for (LONG y = v.top; y < v.bottom; ++y)
        {
            LONG dy = mirrorY ? (to.bottom - 1 - y) : (y - to.top);
            // Source rows covered by this destination row: [y0, y1).
            LONG y0 = srcRect.top + static_cast<LONG>(static_cast<long long>(dy) * sh / dh);
            LONG y1 = srcRect.top + static_cast<LONG>((static_cast<long long>(dy) + 1) * sh / dh);
            if (!smooth || y1 <= y0)
                y1 = y0 + 1;
            BYTE* d = dst.Row(y) + 3 * v.left;
            for (LONG x = v.left; x < v.right; ++x, d += 3)
            {
                const LONG x0 = columns[2 * static_cast<size_t>(x - v.left)];
                const LONG x1 = columns[2 * static_cast<size_t>(x - v.left) + 1];
                if (y1 == y0 + 1 && x1 == x0 + 1 && src.bitsPerPixel == 24)
                {
                    // One 24-bit source pixel: copied as it is.
                    const BYTE* p = src.bits + static_cast<std::ptrdiff_t>(y0) * src.stride + 3 * x0;
                    d[bi] = p[0];
                    d[1] = p[1];
                    d[ri] = p[2];
                    continue;
                }
                unsigned r = 0, g = 0, b = 0, n = 0;
                for (LONG sy = y0; sy < y1; ++sy)
                    for (LONG sx = x0; sx < x1; ++sx, ++n)
                    {
                        COLORREF c = src.Pixel(sx, sy);
                        r += GetRValue(c);
                        g += GetGValue(c);
                        b += GetBValue(c);
                    }
                PutPixel(dst, x, y, RGB((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n));
            }
        }
    });
}

void Line(Surface& dst, POINTL a, POINTL b, COLORREF color, LONG width, const Clip& clip)
{
    Clip visible = clip.Intersect(RECTL{0, 0, dst.width, dst.height});
    const LONG half = std::max<LONG>(width, 1) / 2;
    const LONG extent = std::max<LONG>(width, 1);
    auto plot = [&](LONG x, LONG y) {
        RECTL dot{x - half, y - half, x - half + extent, y - half + extent};
        ForEachVisible(visible, dot, [&](const RECTL& v) {
            for (LONG yy = v.top; yy < v.bottom; ++yy)
                for (LONG xx = v.left; xx < v.right; ++xx)
                    PutPixel(dst, xx, yy, color);
        });
    };
    LONG dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    LONG stepX = a.x < b.x ? 1 : -1, stepY = a.y < b.y ? 1 : -1;
    LONG err = dx + dy, x = a.x, y = a.y;
    while (x != b.x || y != b.y)
    {
        plot(x, y);
        LONG e2 = 2 * err;
        if (e2 >= dy)
        {
            err += dy;
            x += stepX;
        }
        if (e2 <= dx)
        {
            err += dx;
            y += stepY;
        }
    }
}

void FillPolygon(Surface& dst, std::span<const POINTL> points, COLORREF color, bool winding, const Clip& clip)
{
    if (points.size() < 3)
        return;
    LONG top = points[0].y, bottom = points[0].y;
    for (const POINTL& p : points)
    {
        top = std::min(top, p.y);
        bottom = std::max(bottom, p.y);
    }
    top = std::max<LONG>(top, 0);
    bottom = std::min<LONG>(bottom, dst.height);
    struct Crossing
    {
        double x;
        int dir;
    };
    std::vector<Crossing> crossings;
    for (LONG y = top; y < bottom; ++y)
    {
        const double cy = y + 0.5;
        crossings.clear();
        for (size_t i = 0; i < points.size(); ++i)
        {
            POINTL p = points[i], q = points[(i + 1) % points.size()];
            if (p.y == q.y)
                continue;
            bool down = p.y < q.y;
            double y0 = down ? p.y : q.y, y1 = down ? q.y : p.y;
            if (cy < y0 || cy >= y1)
                continue;
            double x = p.x + (cy - p.y) * (q.x - p.x) / static_cast<double>(q.y - p.y);
            crossings.push_back({x, down ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(),
                  [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        int count = 0;
        for (size_t i = 0; i + 1 < crossings.size(); ++i)
        {
            count += winding ? crossings[i].dir : 1;
            bool inside = winding ? count != 0 : (count & 1) != 0;
            if (!inside)
                continue;
            // Pixels whose centre lies in [x_i, x_{i+1}).
            LONG x0 = static_cast<LONG>(std::ceil(crossings[i].x - 0.5));
            LONG x1 = static_cast<LONG>(std::ceil(crossings[i + 1].x - 0.5));
            BitBlt(dst, RECTL{x0, y, x1, y + 1}, nullptr, {0, 0}, color, 0xF0, clip);
        }
    }
}

void Text(Surface& dst, POINTL origin, WStringView text, COLORREF color, LONG scale, const Clip& clip)
{
    scale = std::max<LONG>(scale, 1);
    LONG x = origin.x;
    for (char16_t c : text)
    {
        const BYTE* rows = Glyph(c);
        for (LONG row = 0; row < 7; ++row)
            for (LONG col = 0; col < 5; ++col)
                if (rows[row] & (0x10 >> col))
                {
                    RECTL dot{x + col * scale, origin.y + row * scale, x + (col + 1) * scale,
                              origin.y + (row + 1) * scale};
                    BitBlt(dst, dot, nullptr, {0, 0}, color, 0xF0, clip);
                }
        x += kCellWidth * scale;
    }
}

} // namespace sim::raster
