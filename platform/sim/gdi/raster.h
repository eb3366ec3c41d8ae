// The graphics engine's own drawing on 24-bit top-down surfaces (blue, green, red per pixel):
// fills, raster operations, copies and stretches from 1-, 8-, 24- and 32-bit sources, lines,
// polygons and text from a small built-in font. Enough to print a real page, not a full rasteriser.
#pragma once

#include <platform/windows.h>

#include <span>
#include <vector>

namespace sim::raster
{

struct Surface
{
    LONG width = 0;
    LONG height = 0;
    LONG stride = 0; // bytes from one row to the next
    BYTE* bits = nullptr;
    bool rgbOrder = false; // red first in memory, as a PAL_RGB device draws

    BYTE* Row(LONG y) const { return bits + static_cast<std::ptrdiff_t>(y) * stride; }
};

// A source bitmap; 1- and 8-bit pixels index `palette` (COLORREF values).
struct Source
{
    LONG width = 0;
    LONG height = 0;
    LONG stride = 0;
    const BYTE* bits = nullptr;
    int bitsPerPixel = 24;
    const COLORREF* palette = nullptr;
    int paletteSize = 0;

    COLORREF Pixel(LONG x, LONG y) const;
};

// The visible part of a surface: a set of non-overlapping rectangles (right and bottom exclusive).
class Clip
{
public:
    explicit Clip(const RECTL& bounds) : rects_{bounds} {}
    explicit Clip(std::vector<RECTL> rects) : rects_(std::move(rects)) {}
    static Clip Whole(const Surface& s) { return Clip(RECTL{0, 0, s.width, s.height}); }
    Clip Intersect(const RECTL& r) const;
    const std::vector<RECTL>& Rects() const { return rects_; }

private:
    std::vector<RECTL> rects_;
};

RECTL Intersect(const RECTL& a, const RECTL& b);
bool IsEmpty(const RECTL& r);

// Raster operation on destination, source and pattern (a solid brush colour), as the three-operand
// codes of the engine: 0xCC copies the source, 0xF0 the pattern, 0x00 black, 0xFF white.
void BitBlt(Surface& dst, const RECTL& dstRect, const Source* src, POINTL srcOrigin, COLORREF brush,
            BYTE rop3, const Clip& clip);

inline void Fill(Surface& dst, const RECTL& rect, COLORREF color, const Clip& clip)
{
    BitBlt(dst, rect, nullptr, {0, 0}, color, 0xF0, clip);
}

// Scales `srcRect` of the source onto `dstRect`; a destination given right-to-left or bottom-to-top
// mirrors. `smooth` averages the source pixels each destination pixel covers (the halftone mode).
void StretchBlt(Surface& dst, const RECTL& dstRect, const Source& src, const RECTL& srcRect, bool smooth,
                const Clip& clip);

// A line of `width` pixels from a to b, the last point excluded as the engine draws them.
void Line(Surface& dst, POINTL a, POINTL b, COLORREF color, LONG width, const Clip& clip);

// A polygon filled by the even-odd or the winding rule; pixel centres inside are painted.
void FillPolygon(Surface& dst, std::span<const POINTL> points, COLORREF color, bool winding,
                 const Clip& clip);

// Text in the built-in font: cells of 6 x 8 units, each unit `scale` pixels; `origin` is the top left.
constexpr LONG kCellWidth = 6;
constexpr LONG kCellHeight = 8;
void Text(Surface& dst, POINTL origin, WStringView text, COLORREF color, LONG scale, const Clip& clip);
const BYTE* Glyph(char16_t c); // seven rows of five pixels, bit 4 the leftmost

} // namespace sim::raster
