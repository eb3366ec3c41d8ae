// Turns one drawn 24-bit line into one 1-bit line of the page image: first into 8-bit gray (colour
// drop-out, density, contrast and gray shift), then into dots by line art, ordered dither or error
// diffusion. Lines are handed in one at a time by the band flow; nothing here allocates or calls
// through a pointer per pixel.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "halftone_tables.h"

namespace velmoq7
{

// What the conversion reads of the PDEV and its settings, filled by the band flow from them.
struct HalftoneContext
{
    int resolutionType = 0;       // 0..3: 1 joins pixel pairs, 3 turns six pixels into five, others 1:1
    int xDpi = 600;               // dpi of the settings' resolution row, before zoom: picks curve and matrix
    int yDpi = 600;               // (a zoomed device's dpi is in no row)
    int documentType = 0;         // resolution type 1: 0 joins a pair by its darker pixel, 3 by the average
    int halftoneOn = 1;           // 0: line art, a dot wherever the gray is below 255
    int ditherIndex = 1;          // 0..2 ordered dither, 3 error diffusion
    int OrderedDitherMethod = 0;  // non-zero: the fixed 16 x 16 matrices
    int ErrorDiffusionMethod = 0; // 0: three-line kernel with noise; non-zero: four neighbours
    int colorSeparation = 0;      // non-zero: colour drop-out
    int ProcessingMethodForColorSeparation = 0; // 0: TakeApartColor, else TakeApartColor2
    int separationInvert = 1;                   // drop the pixels outside the mask, not inside
    int separationColors = 0;                   // class mask of the drop-out
    int swingValue = 30;                        // low byte: the drop-out threshold H
    int densityAdjust = 0;                      // -64..64
    int ProcessingMethodForDensity = 0;         // 0: scale, else offset
    int contrastAdjust = 0;                     // -64..64
    int grayShiftOn = 0;                        // 1: shift by grayShift
    int grayShift = 30;                         // -64..64
    bool linesCountUp = true; // false for strips handed in bottom up, lines numbered line count .. 1

    // Set only by tests: curve (rising) and matrix (at most 48 wide) instead of those the table picks.
    const GammaCurve* gammaOverride = nullptr;
    DitherView ditherOverride{};
};

// The error rows: three rows of 14,336 signed values, in the second user buffer at 0, 28,672 and
// 57,344. Zero when the surface is enabled, never cleared afterwards.
inline constexpr int kMaxLinePixels = 14336;
inline constexpr std::size_t kErrorRowBytes = 2 * kMaxLinePixels;

struct ErrorRows
{
    std::span<std::int16_t> row1, row2, row3;
};

// The rows inside the second user buffer (2-byte aligned, as pool memory is); all three empty when the
// buffer is too small to hold them, which error diffusion then refuses.
ErrorRows ErrorRowsIn(std::span<std::byte> userBuffer);

// Module-wide noise of the three-line error diffusion: starts at 15 and runs on across lines, pages,
// jobs and PDEVs. Each line takes its run of the sequence in one atomic step, so concurrent jobs share
// the one sequence without losing or repeating any of it.
inline constexpr std::uint32_t kRndA = 1229, kRndB = 351750, kRndC = 1664501;
extern std::atomic<std::uint32_t> RndNow;

// The curve and matrix chosen by resolution, dither index and method (matrix width 0 for error
// diffusion). A resolution outside the table takes the nearest listed one by horizontal dpi.
struct HalftoneChoice
{
    const GammaCurve* gamma = nullptr;
    DitherView matrix{};
};
HalftoneChoice SelectHalftone(const HalftoneContext& ctx);

// Gray value of a pixel given as bytes p0, p1, p2 in memory order: 0 black .. 255 white.
inline int GrayOf(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2)
{
    return (5 * p0 + 9 * p1 + 2 * p2) >> 4;
}

// Colour drop-out of one pixel: its gray value, or 255 when the drop-out takes it. swing: low byte = H.
int TakeApartColor(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, int swing, int colors, int invert);
int TakeApartColor2(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, int swing, int colors, int invert);

// Fills gray from pixelCount pixels of line24 starting at firstPixel; returns the gray pixel count
// (fewer with resolution types 1 and 3), or -1 when the pixels lie outside line24 or the gray line
// cannot hold them (nothing is written then).
int Convert24ToGrayPageForwardVelmo(const HalftoneContext& ctx, std::span<std::uint16_t> gray,
                                    std::span<const std::uint8_t> line24, int pixelCount, int firstPixel);

// Fills the first (pixelCount + 7) / 8 bytes of out, most significant bit first, 1 = dot. With
// halftoneOn the gray values are read through the tone curve (the gray line itself is left as it is).
// groups16 * 16 + remaining must equal pixelCount; error diffusion converts only the whole groups and
// needs rows that hold them. Returns false, writing nothing, when the arguments do not fit.
bool ConvertGrayTo01PageBitmapVelmo(const HalftoneContext& ctx, std::span<std::uint8_t> out,
                                    std::span<const std::uint16_t> gray, int pixelCount, int lineNumber,
                                    int groups16, int remaining, std::span<std::int16_t> row1,
                                    std::span<std::int16_t> row2, std::span<std::int16_t> row3,
                                    int lineCount);

// 1 when any of the groups8 * 8 + remaining bytes from the first pixel is below 0xFF, 0 for an all-white
// run. A run that reaches past line24 counts as not blank, so the caller converts (and fails) rather
// than dropping the line.
int CheckNullLine(std::span<const std::uint8_t> line24, int firstPixel, int groups8, int remaining);

// Mirrors a 1-bit line: byte order and the bit order within every byte reversed.
void FilpLineData(std::span<std::uint8_t> line);

} // namespace velmoq7
