// The engine's own objects behind the public DDI records: what an application's drawing call becomes
// before the engine hands it to a driver hook, and what the engine's drawing reads back.
#pragma once

#include <platform/winddi.h>

#include <array>
#include <memory>
#include <vector>

namespace sim
{

// A clip region: the rectangles of the band (or page) the call may touch.
struct SimClip : CLIPOBJ
{
    std::vector<RECTL> rects;
};

// Text in the engine's built-in font: each font unit `scale` pixels, `origin` the top left.
struct SimString : STROBJ
{
    WString text;
    POINTL origin{};
    LONG scale = 1;
};

// Figures of straight segments; a closed figure returns to its first point.
struct SimPath : PATHOBJ
{
    struct Figure
    {
        std::vector<POINTL> points;
        bool closed = false;
    };
    std::vector<Figure> figures;
    LONG penWidth = 1;
};

inline constexpr FLONG kFillWinding = 0x2; // FP_WINDINGMODE

// An application's bitmap (a memory DIB): 24-bit blue-green-red or 1-bit with two palette colours,
// top-down, rows padded to 4 bytes.
class Bitmap
{
public:
    Bitmap(LONG width, LONG height, int bitsPerPixel = 24);
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap&) = delete;

    LONG Width() const { return width_; }
    LONG Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    void Set(LONG x, LONG y, COLORREF color); // 1-bit: any colour but black sets the bit
    std::array<COLORREF, 2> palette{RGB(0, 0, 0), RGB(255, 255, 255)};
    BYTE* Row(LONG y) { return bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(stride_); }

    SURFOBJ* Object() { return &object_; }
    // The colour translation of a 1-bit source onto a device.
    XLATEOBJ* Xlate() { return bitsPerPixel_ == 1 ? &xlate_ : nullptr; }

private:
    void Bind();

    LONG width_;
    LONG height_;
    int bitsPerPixel_;
    LONG stride_;
    std::vector<BYTE> bits_;
    SURFOBJ object_{};
    XLATEOBJ xlate_{};
};

} // namespace sim
