// Generators of the tone curves and threshold matrices, run by the compiler: the tables are constants
// (no start-up work, no order of initialisation to respect) and every build gets the same bits, as the
// maths below is our own and not the run-time library's.
//
// Tone curves: out = floor(255 * (g / 255) ^ (100 / N)) for the curve named N; N / 100 is the gamma of
// the print the curve corrects, larger where dots gain more (finer screens, the lone dots of error
// diffusion). The curve lifts the mid-tones so the spread dots print the gray asked for.
//
// Matrices: a matrix of n cells holds the thresholds floor(k * 255 / n), k = 1..n (at least 1), once
// each, so a flat gray prints the share of dots it asks for, 0 prints every cell and 255 none. What
// differs is the order in which cells turn black:
// - clustered dot: cells ordered by the spot function cos(2 pi u) + cos(2 pi v) over the diagonals
//   u, v = x / w +- y / h, which grows two round dots per w x h period on a 45-degree screen; w and h
//   make the grid square on paper, so 4 x 8 is the screen for pixels twice as wide as tall. Cells of
//   equal spot value go first to the one nearer a dark centre, then by their angle around it, then by
//   index, so the dots stay round and grow in turn;
// - dispersed dot: the recursive Bayer order, each step of which puts new dots as far as possible from
//   the dots before.
// Legacy values that stored jobs depend on are pinned: a pinned cell keeps its value, that value leaves
// the pool, and the other cells share the rest in spot order.

#include "halftone_tables.h"

#include <algorithm>
#include <span>

namespace velmoq7
{
namespace
{

// ---- maths the compiler can run ----------------------------------------------------------------------

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kLn2 = 0.69314718055994530942;

constexpr long long Floor(double x)
{
    const long long i = static_cast<long long>(x);
    return i > x ? i - 1 : i;
}

constexpr long long Round(double x)
{
    return x >= 0 ? Floor(x + 0.5) : -Floor(-x + 0.5);
}

constexpr double Cos(double x)
{
    const double r = x - static_cast<double>(Round(x / kTwoPi)) * kTwoPi; // -pi..pi
    double term = 1, sum = 1;
    for (int j = 1; j <= 22; ++j)
    {
        term *= -r * r / ((2 * j - 1) * (2 * j));
        sum += term;
    }
    return sum;
}

constexpr double Ln(double x) // x > 0
{
    int e = 0;
    while (x < 0.5)
    {
        x *= 2;
        --e;
    }
    while (x > 1)
    {
        x /= 2;
        ++e;
    }
    const double z = (x - 1) / (x + 1), z2 = z * z; // |z| <= 1/3
    double power = z, sum = 0;
    for (int j = 0; j < 40; ++j)
    {
        sum += power / (2 * j + 1);
        power *= z2;
    }
    return 2 * sum + e * kLn2;
}

constexpr double Exp(double y)
{
    const long long n = Round(y / kLn2);
    const double r = y - static_cast<double>(n) * kLn2; // |r| <= ln 2 / 2
    double term = 1, sum = 1;
    for (int j = 1; j <= 25; ++j)
    {
        term *= r / j;
        sum += term;
    }
    for (long long i = 0; i < n; ++i)
        sum *= 2;
    for (long long i = 0; i > n; --i)
        sum /= 2;
    return sum;
}

constexpr double Pow(double x, double p) // x >= 0
{
    return x == 0 ? 0 : Exp(p * Ln(x));
}

constexpr long long Quantise(double v)
{
    return Round(v * 1e6);
}

// 0..7 around a centre, counter-clockwise from the right.
constexpr int Octant(long long qx, long long qy)
{
    const long long ax = qx < 0 ? -qx : qx, ay = qy < 0 ? -qy : qy;
    if (qy >= 0 && qx > 0)
        return qy < qx ? 0 : 1;
    if (qy > 0)
        return ax < qy ? 2 : 3;
    if (qx < 0)
        return ay < ax ? 4 : 5;
    if (qy < 0)
        return qx < ay ? 6 : 7;
    return 0; // the centre itself
}

// ---- building blocks ---------------------------------------------------------------------------------

constexpr int kMaxCells = 256;
using Cells = std::array<std::uint16_t, kMaxCells>;

struct Pin
{
    int index;
    std::uint16_t value;
};

struct CellKey
{
    long long primary = 0;
    long long secondary = 0;
    int index = 0;

    constexpr bool operator<(const CellKey& o) const
    {
        if (primary != o.primary)
            return primary < o.primary;
        if (secondary != o.secondary)
            return secondary < o.secondary;
        return index < o.index;
    }
};
using Keys = std::array<CellKey, kMaxCells>;

// Threshold of the k-th of n cells (k = 1..n).
constexpr std::uint16_t Level(int k, int n)
{
    return static_cast<std::uint16_t>(std::max(1, k * 255 / n));
}

constexpr Cells EvenLevels(int n)
{
    Cells levels{};
    for (int k = 1; k <= n; ++k)
        levels[k - 1] = Level(k, n);
    return levels;
}

// Hands the levels (ascending) to the n cells in ascending key order, pinned cells excepted.
constexpr Cells AssignLevels(Keys keys, int n, Cells levels, std::span<const Pin> pins)
{
    Cells out{};
    std::array<bool, kMaxCells> pinned{}, used{};
    for (const Pin& pin : pins)
    {
        out[pin.index] = pin.value;
        pinned[pin.index] = true;
        for (int i = 0; i < n; ++i)
            if (!used[i] && levels[i] == pin.value)
            {
                used[i] = true;
                break;
            }
    }
    std::sort(keys.begin(), keys.begin() + n);
    int level = 0;
    for (int i = 0; i < n; ++i)
    {
        if (pinned[keys[i].index])
            continue;
        while (used[level])
            ++level;
        out[keys[i].index] = levels[level++];
    }
    return out;
}

// 45-degree clustered dot over a gw x gh grid, two dots per w x h period, a dark centre on (cx, cy).
constexpr Cells Screen45(int gw, int gh, int w, int h, int cx, int cy, Cells levels,
                         std::span<const Pin> pins = {})
{
    Keys keys{};
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x)
        {
            const double dx = double(x - cx) / w, dy = double(y - cy) / h;
            const double u = dx + dy, v = dx - dy;
            const double spot = Cos(kTwoPi * u) + Cos(kTwoPi * v);
            const double fu = u - Round(u), fv = v - Round(v); // from the nearest dark centre
            keys[y * gw + x] = {Quantise(spot),
                                Quantise(-(fu * fu + fv * fv)) * 8 + Octant(Quantise(fu), Quantise(fv)),
                                y * gw + x};
        }
    return AssignLevels(keys, gw * gh, levels, pins);
}

constexpr Cells Screen45(int w, int h, int cx, int cy)
{
    return Screen45(w, h, w, h, cx, cy, EvenLevels(w * h));
}

// 0-degree clustered dot, one dot per cell, centred between pixels (w/2 - 1, h/2 - 1) and (w/2, h/2).
constexpr Cells Screen0(int w, int h)
{
    Keys keys{};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            const double dx = (x + 0.5) / w - 0.5, dy = (y + 0.5) / h - 0.5;
            const double spot = Cos(kTwoPi * dx) + Cos(kTwoPi * dy);
            keys[y * w + x] = {Quantise(spot), Octant(Quantise(dx), Quantise(dy)), y * w + x};
        }
    return AssignLevels(keys, w * h, EvenLevels(w * h), {});
}

// Bayer rank (0..size*size-1) of a cell of the size x size matrix, size a power of two. The lowest
// coordinate bits give the most significant digit, in 2 x 2 steps {0 2; 3 1}.
constexpr int BayerRank(int x, int y, int size)
{
    int rank = 0;
    for (int bit = 1; bit < size; bit <<= 1)
    {
        const int bx = (x & bit) ? 1 : 0, by = (y & bit) ? 1 : 0;
        rank = rank * 4 + (((bx ^ by) << 1) | by);
    }
    return rank;
}

constexpr Cells Bayer(int size)
{
    Cells out{};
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            out[y * size + x] = Level(BayerRank(x, y, size) + 1, size * size);
    return out;
}

// Dispersed dot for pixels twice as wide: the checkerboard half of the 8 x 8 Bayer matrix, squeezed to
// 4 x 8, keeps the Bayer spread on paper.
constexpr Cells BayerWide4x8()
{
    Keys keys{};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 4; ++x)
            keys[y * 4 + x] = {BayerRank(2 * x + (y & 1), y, 8), 0, y * 4 + x};
    return AssignLevels(keys, 32, EvenLevels(32), {});
}

// 4 x 4 clustered dots whose growth steps are handed out over the sixteen dots of the 16 x 16 tile in
// 4 x 4 Bayer order: a fine clustered screen with 256 levels.
constexpr Cells BayerOrderedClusters()
{
    const Cells dot = Screen0(4, 4);
    std::array<int, 16> stage{};
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            if (dot[j] < dot[i])
                ++stage[i];
    Cells out{};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            out[y * 16 + x] = Level(stage[(y % 4) * 4 + x % 4] * 16 + BayerRank(x / 4, y / 4, 4) + 1, 256);
    return out;
}

template <int W, int H> constexpr SizedDither<W, H> Sized(const Cells& values)
{
    SizedDither<W, H> m;
    for (int i = 0; i < W * H; ++i)
        m.thresholds[i] = values[i];
    return m;
}

template <int W, int H> constexpr SizedDither<W, H> Clustered(int cx, int cy, std::span<const Pin> pins = {})
{
    return Sized<W, H>(Screen45(W, H, W, H, cx, cy, EvenLevels(W * H), pins));
}

// A W/2-wide screen with every value twice along the row.
template <int W, int H> constexpr SizedDither<W, H> Doubled(const Cells& half)
{
    SizedDither<W, H> m;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            m.thresholds[y * W + x] = half[y * (W / 2) + x / 2];
    return m;
}

constexpr FixedDither Tiled(const Cells& tile, int w, int h)
{
    FixedDither m{};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            m[y * 16 + x] = tile[(y % h) * w + x % w];
    return m;
}

constexpr GammaCurve MakeGamma(int n, std::span<const Pin> pins = {}, int highlightHold = 256)
{
    GammaCurve curve{};
    const double p = 100.0 / n;
    for (int i = 0; i < 256; ++i)
        curve[i] = i >= highlightHold ? 255 : static_cast<std::uint16_t>(Floor(255.0 * Pow(i / 255.0, p)));
    for (const Pin& pin : pins)
        curve[pin.index] = pin.value;
    return curve;
}

// The first row of the 10 x 10 screen, the first eight cells of the So screen and both ends of the
// 0.88 curve are legacy values.
constexpr Pin kPins10x10[] = {{0, 112}, {1, 71},  {2, 51},  {3, 76},  {4, 117},
                              {5, 147}, {6, 188}, {7, 209}, {8, 183}, {9, 142}};
constexpr Pin kPinsSo[] = {{0, 96}, {1, 64}, {2, 32}, {3, 120}, {4, 136}, {5, 176}, {6, 208}, {7, 144}};
constexpr Pin kPinsGamma088[] = {{0, 0}, {1, 0}, {2, 1},     {3, 1},     {4, 2},     {5, 2},
                                 {6, 3}, {7, 4}, {252, 251}, {253, 252}, {254, 253}, {255, 255}};

// So: a 45-degree screen of period 8 over the whole 16 x 16 tile (eight dots), 32 levels in steps of 8.
constexpr FixedDither MakeSo()
{
    Cells levels{};
    for (int r = 1; r <= 32; ++r)
        for (int i = 0; i < 8; ++i)
            levels[(r - 1) * 8 + i] = static_cast<std::uint16_t>(std::min(8 * r, 255));
    return Tiled(Screen45(16, 16, 8, 8, 6, 0, levels, kPinsSo), 16, 16);
}

} // namespace

constinit const GammaCurve g_Gamma088 = MakeGamma(88, kPinsGamma088);
constinit const GammaCurve g_Gamma115 = MakeGamma(115);
constinit const GammaCurve g_Gamma145 = MakeGamma(145);
constinit const GammaCurve g_Gamma140M = MakeGamma(140);
constinit const GammaCurve g_Gamma170M = MakeGamma(170);
constinit const GammaCurve g_Gamma210M = MakeGamma(210);
constinit const GammaCurve g_Gamma220M = MakeGamma(220);
constinit const GammaCurve g_Gamma250M = MakeGamma(250);
constinit const GammaCurve g_Gamma270M = MakeGamma(270);
constinit const GammaCurve g_Gamma280M = MakeGamma(280);
constinit const GammaCurve g_Gamma130A = MakeGamma(130);
constinit const GammaCurve g_Gamma140A = MakeGamma(140);
constinit const GammaCurve g_Gamma150A = MakeGamma(150);
constinit const GammaCurve g_Gamma160A = MakeGamma(160);
constinit const GammaCurve g_Gamma180A = MakeGamma(180);
constinit const GammaCurve g_Gamma190A = MakeGamma(190);
// Wide pixels carry lone dots badly: the lightest grays print white.
constinit const GammaCurve g_Gamma190AW = MakeGamma(190, {}, 251);

constinit const SizedDither<4, 4> g_Dither_4x4 = Clustered<4, 4>(1, 1);
constinit const SizedDither<6, 6> g_Dither_6x6 = Clustered<6, 6>(1, 1);
constinit const SizedDither<8, 8> g_Dither_8x8 = Clustered<8, 8>(2, 2);
constinit const SizedDither<10, 10> g_Dither_10x10 = Clustered<10, 10>(7, 0, kPins10x10);
constinit const SizedDither<12, 12> g_Dither_12x12 = Clustered<12, 12>(3, 3);
constinit const SizedDither<14, 14> g_Dither_14x14 = Clustered<14, 14>(3, 3);
constinit const SizedDither<4, 8> g_Dither_4x8 = Clustered<4, 8>(1, 2);
constinit const SizedDither<6, 12> g_Dither_6x12 = Clustered<6, 12>(1, 3);
constinit const SizedDither<8, 16> g_Dither_8x16 = Clustered<8, 16>(2, 4);
constinit const SizedDither<10, 20> g_Dither_10x20 = Clustered<10, 20>(2, 5);
constinit const SizedDither<8, 8> g_Dither_8x8w = Doubled<8, 8>(Screen45(4, 8, 1, 2));
constinit const SizedDither<12, 12> g_Dither_12x12w = Doubled<12, 12>(Screen45(6, 12, 1, 3));
constinit const SizedDither<16, 16> g_Dither_16x16w = Doubled<16, 16>(Screen45(8, 16, 2, 4));
constinit const SizedDither<6, 7> g_Dither_6x7 = Clustered<6, 7>(1, 2);
constinit const SizedDither<8, 10> g_Dither_8x10 = Clustered<8, 10>(2, 2);
constinit const SizedDither<10, 12> g_Dither_10x12 = Clustered<10, 12>(2, 3);

constinit const FixedDither g_Dither_So = MakeSo();
constinit const FixedDither g_Dither_Standard = Tiled(Bayer(16), 16, 16);
constinit const FixedDither g_Dither_Mitsu = Tiled(BayerOrderedClusters(), 16, 16);
constinit const FixedDither g_Dither_8x8_45 = Tiled(Screen45(8, 8, 2, 2), 8, 8);
constinit const FixedDither g_Dither_4x4_Bayer = Tiled(Bayer(4), 4, 4);
constinit const FixedDither g_Dither_4x4_Halftone = Tiled(Screen0(4, 4), 4, 4);
constinit const FixedDither g_Dither_4x8_45_36 = Tiled(Screen45(4, 8, 1, 2), 4, 8);
constinit const FixedDither g_Dither_4x8_Bayer_36 = Tiled(BayerWide4x8(), 4, 8);
constinit const FixedDither g_Dither_4x8_Halftone_36 = Tiled(Screen0(4, 8), 4, 8);

} // namespace velmoq7
