// Tone curves and threshold matrices of the halftone stage.
//
// Every curve maps a gray level (0 black .. 255 white) to the value the dither compares against; every
// matrix holds thresholds 0..255, a dot wherever threshold > mapped value. The tables are built once at
// load time from the generators in halftone_tables.cpp, not typed in; only the few legacy values that
// print jobs depend on are pinned.
#pragma once

#include <array>
#include <cstdint>

namespace velmoq7
{

using GammaCurve = std::array<std::uint16_t, 256>;

// {width; height; width x height thresholds, row by row}, the layout the dither list points at.
template <int W, int H> struct SizedDither
{
    std::int32_t width = W;
    std::int32_t height = H;
    std::array<std::uint16_t, W * H> thresholds{};
};

// 16 x 16 thresholds without a header, row by row.
using FixedDither = std::array<std::uint16_t, 256>;

// What the converter needs of either kind.
struct DitherView
{
    int width = 0;
    int height = 0;
    const std::uint16_t* thresholds = nullptr; // width * height values, row by row

    std::uint16_t At(int x, int y) const { return thresholds[y * width + x]; }
};

template <int W, int H> DitherView View(const SizedDither<W, H>& m)
{
    return {m.width, m.height, m.thresholds.data()};
}
inline DitherView View(const FixedDither& m)
{
    return {16, 16, m.data()};
}

extern const GammaCurve g_Gamma088;
extern const GammaCurve g_Gamma115;
extern const GammaCurve g_Gamma145;
extern const GammaCurve g_Gamma140M;
extern const GammaCurve g_Gamma170M;
extern const GammaCurve g_Gamma210M;
extern const GammaCurve g_Gamma220M;
extern const GammaCurve g_Gamma250M;
extern const GammaCurve g_Gamma270M;
extern const GammaCurve g_Gamma280M;
extern const GammaCurve g_Gamma130A;
extern const GammaCurve g_Gamma140A;
extern const GammaCurve g_Gamma150A;
extern const GammaCurve g_Gamma160A;
extern const GammaCurve g_Gamma180A;
extern const GammaCurve g_Gamma190A;
extern const GammaCurve g_Gamma190AW;

// Clustered-dot screens at 45 degrees (two dots per cell), sized for square pixels...
extern const SizedDither<4, 4> g_Dither_4x4;
extern const SizedDither<6, 6> g_Dither_6x6;
extern const SizedDither<8, 8> g_Dither_8x8;
extern const SizedDither<10, 10> g_Dither_10x10;
extern const SizedDither<12, 12> g_Dither_12x12;
extern const SizedDither<14, 14> g_Dither_14x14;
// ...for pixels twice as wide as tall (the head halves the line)...
extern const SizedDither<4, 8> g_Dither_4x8;
extern const SizedDither<6, 12> g_Dither_6x12;
extern const SizedDither<8, 16> g_Dither_8x16;
extern const SizedDither<10, 20> g_Dither_10x20;
// ...the same screens with every value twice along a row...
extern const SizedDither<8, 8> g_Dither_8x8w;
extern const SizedDither<12, 12> g_Dither_12x12w;
extern const SizedDither<16, 16> g_Dither_16x16w;
// ...and for pixels 6/5 as wide as tall (six become five).
extern const SizedDither<6, 7> g_Dither_6x7;
extern const SizedDither<8, 10> g_Dither_8x10;
extern const SizedDither<10, 12> g_Dither_10x12;

extern const FixedDither g_Dither_So;              // 45-degree clustered dot, 32 levels
extern const FixedDither g_Dither_Standard;        // 16 x 16 Bayer (dispersed dot)
extern const FixedDither g_Dither_Mitsu;           // 4 x 4 clustered cells grown in Bayer order
extern const FixedDither g_Dither_8x8_45;          // 8 x 8 45-degree clustered dot, tiled
extern const FixedDither g_Dither_4x4_Bayer;       // 4 x 4 Bayer, tiled
extern const FixedDither g_Dither_4x4_Halftone;    // 4 x 4 clustered dot, tiled
extern const FixedDither g_Dither_4x8_45_36;       // 4 x 8 45-degree clustered dot for wide pixels
extern const FixedDither g_Dither_4x8_Bayer_36;    // 4 x 8 dispersed dot for wide pixels
extern const FixedDither g_Dither_4x8_Halftone_36; // 4 x 8 clustered dot for wide pixels

} // namespace velmoq7
