#include "halftone.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#endif

namespace velmoq7
{

std::atomic<std::uint32_t> RndNow{15};

namespace
{

// ---- noise -------------------------------------------------------------------------------------------

// x -> (a * x + b) mod kRndC, composed.
struct Affine
{
    std::uint64_t a = 1, b = 0;

    std::uint32_t operator()(std::uint32_t x) const
    {
        return static_cast<std::uint32_t>((a * x + b) % kRndC);
    }
    constexpr Affine Then(const Affine& next) const
    {
        return {next.a * a % kRndC, (next.a * b + next.b) % kRndC};
    }
};

constexpr Affine kStep{kRndA, kRndB};

Affine Power(Affine f, std::uint64_t n)
{
    Affine result;
    while (n)
    {
        if (n & 1)
            result = result.Then(f);
        f = f.Then(f);
        n >>= 1;
    }
    return result;
}

// Takes the next n values of the module-wide sequence in one atomic step; returns the state before them.
std::uint32_t ReserveNoise(int n)
{
    const Affine jump = Power(kStep, static_cast<std::uint64_t>(n));
    std::uint32_t start = RndNow.load(std::memory_order_relaxed);
    while (!RndNow.compare_exchange_weak(start, jump(start), std::memory_order_relaxed))
    {
    }
    return start;
}

constexpr Affine kStep2 = kStep.Then(kStep);

// ---- vector kernels ----------------------------------------------------------------------------------
//
// The loops below vectorise; on x86 each is built twice, for the baseline and for AVX2, and the second is
// taken when the processor has it.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define HALFTONE_CLONES 1
#define HALFTONE_KERNEL __attribute__((always_inline)) inline
#define HALFTONE_AVX2 __attribute__((target("avx2")))
#else
#define HALFTONE_CLONES 0
#define HALFTONE_KERNEL inline
#endif

HALFTONE_KERNEL void GrayKernel(std::uint16_t* __restrict gray, const std::uint8_t* __restrict src, int n)
{
    for (int i = 0; i < n; ++i)
        gray[i] = static_cast<std::uint16_t>((5 * src[3 * i] + 9 * src[3 * i + 1] + 2 * src[3 * i + 2]) >> 4);
}

// Dots of a 16-pixel group where the limit is above the gray value; t runs with g.
HALFTONE_KERNEL unsigned GroupBits(const std::uint16_t* __restrict t, const std::uint16_t* __restrict g)
{
    unsigned bits = 0;
    for (int i = 0; i < 16; ++i)
        bits |= static_cast<unsigned>(t[i] > std::min<std::uint16_t>(g[i], 255)) << (15 - i);
    return bits;
}

// The errors the two lines before pass on to each pixel of this one (interior pixels only).
HALFTONE_KERNEL void SumsKernel(std::int16_t* __restrict sums, const std::int16_t* __restrict p1,
                                const std::int16_t* __restrict p2, int from, int to)
{
    // Rows start at zero and hold only errors of -128..127 (or the four-neighbour method's -128..383), so
    // no sum comes near the 16-bit limits: 16-bit lanes, twice as many to a vector as 32-bit ones, give the
    // same sums as the clamped ones the border pixels take.
    for (int x = from; x < to; ++x)
    {
        const auto w = [](int v) { return static_cast<std::uint16_t>(v); };
        const std::uint16_t s = static_cast<std::uint16_t>(
            w(3 * p1[x - 2]) + w(5 * p1[x - 1]) + w(7 * p1[x]) + w(5 * p1[x + 1]) + w(3 * p1[x + 2]) +
            w(p2[x - 2]) + w(3 * p2[x - 1]) + w(5 * p2[x]) + w(3 * p2[x + 1]) + w(p2[x + 2]));
        sums[x] = static_cast<std::int16_t>(s);
    }
}

void GrayBase(std::uint16_t* gray, const std::uint8_t* src, int n)
{
    GrayKernel(gray, src, n);
}
void SumsBase(std::int16_t* sums, const std::int16_t* p1, const std::int16_t* p2, int from, int to)
{
    SumsKernel(sums, p1, p2, from, to);
}
void ThresholdGroupsBase(std::uint8_t* out, const std::uint16_t* gray, int groups, const std::uint16_t* ext,
                         int width);

#if HALFTONE_CLONES
// Eight pixels (24 bytes) a step: byte shuffles pair each pixel's first two bytes and put its third beside
// a zero, and two multiply-adds of unsigned bytes by the weights give 5 p0 + 9 p1 and 2 p2 in 16 bits.
// Pixels 0..3 come from the first 16 bytes, 4..7 from the 16 starting at byte 8, so nothing is read past
// the last pixel.
HALFTONE_AVX2 void GrayAvx2(std::uint16_t* gray, const std::uint8_t* src, int n)
{
    constexpr char Z = -128; // a shuffle index that yields zero
    const __m128i pairLow = _mm_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i pairHigh = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 4, 5, 7, 8, 10, 11, 13, 14);
    const __m128i thirdLow = _mm_setr_epi8(2, Z, 5, Z, 8, Z, 11, Z, Z, Z, Z, Z, Z, Z, Z, Z);
    const __m128i thirdHigh = _mm_setr_epi8(Z, Z, Z, Z, Z, Z, Z, Z, 6, Z, 9, Z, 12, Z, 15, Z);
    const __m128i w01 = _mm_setr_epi8(5, 9, 5, 9, 5, 9, 5, 9, 5, 9, 5, 9, 5, 9, 5, 9);
    const __m128i w2 = _mm_setr_epi8(2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0, 2, 0);
    int i = 0;
    for (; i + 8 <= n; i += 8, src += 24)
    {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
        const __m128i pairs = _mm_or_si128(_mm_shuffle_epi8(lo, pairLow), _mm_shuffle_epi8(hi, pairHigh));
        const __m128i thirds = _mm_or_si128(_mm_shuffle_epi8(lo, thirdLow), _mm_shuffle_epi8(hi, thirdHigh));
        const __m128i sum = _mm_add_epi16(_mm_maddubs_epi16(pairs, w01), _mm_maddubs_epi16(thirds, w2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(gray + i), _mm_srli_epi16(sum, 4));
    }
    GrayKernel(gray + i, src, n - i);
}
HALFTONE_AVX2 void SumsAvx2(std::int16_t* sums, const std::int16_t* p1, const std::int16_t* p2, int from,
                            int to)
{
    SumsKernel(sums, p1, p2, from, to);
}
HALFTONE_AVX2 void ThresholdGroupsAvx2(std::uint8_t* out, const std::uint16_t* gray, int groups,
                                       const std::uint16_t* ext, int width);

// Runs before main (or DllMain), maybe before the run-time library has looked at the processor.
const bool s_HasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();
#else
constexpr bool s_HasAvx2 = false;
#endif

void GrayPlain(std::uint16_t* gray, const std::uint8_t* src, int n)
{
#if HALFTONE_CLONES
    if (s_HasAvx2)
        return GrayAvx2(gray, src, n);
#endif
    GrayBase(gray, src, n);
}

void Sums(std::int16_t* sums, const std::int16_t* p1, const std::int16_t* p2, int from, int to)
{
#if HALFTONE_CLONES
    if (s_HasAvx2)
        return SumsAvx2(sums, p1, p2, from, to);
#endif
    SumsBase(sums, p1, p2, from, to);
}

// ---- gray --------------------------------------------------------------------------------------------

int Clamp255(int g)
{
    return std::clamp(g, 0, 255);
}

int CorrectOne(const HalftoneContext& ctx, int g)
{
    if (ctx.densityAdjust != 0 && g != 255)
    {
        if (ctx.ProcessingMethodForDensity == 0)
            g = Clamp255(g * (ctx.densityAdjust + 100) / 100);
        else
            g = Clamp255(g + ctx.densityAdjust * 128 / 100);
    }
    if (ctx.contrastAdjust != 0 && g != 255)
        g = Clamp255((g - 128) * (ctx.contrastAdjust + 64) / 64 + 128);
    if (ctx.grayShiftOn == 1 && g != 255)
        g = Clamp255(g - ctx.grayShift * 128 / 100);
    return g;
}

bool HasCorrections(const HalftoneContext& ctx)
{
    return ctx.densityAdjust != 0 || ctx.contrastAdjust != 0 || ctx.grayShiftOn == 1;
}

enum class DropOut
{
    None,
    Classes,
    Tolerance
};

template <DropOut Mode> struct PixelGray
{
    int swing, colors, invert;

    int operator()(const std::uint8_t* p) const
    {
        if constexpr (Mode == DropOut::None)
            return GrayOf(p[0], p[1], p[2]);
        else if constexpr (Mode == DropOut::Classes)
            return TakeApartColor(p[0], p[1], p[2], swing, colors, invert);
        else
            return TakeApartColor2(p[0], p[1], p[2], swing, colors, invert);
    }
};

template <DropOut Mode>
void GrayLine(const HalftoneContext& ctx, std::uint16_t* gray, const std::uint8_t* src, int pixelCount,
              const std::uint8_t* lut)
{
    const PixelGray<Mode> pix{ctx.swingValue, ctx.separationColors, ctx.separationInvert};
    int out = 0;
    if (ctx.resolutionType == 1)
    {
        const bool average = ctx.documentType == 3;
        int i = 0;
        for (; i + 2 <= pixelCount; i += 2, src += 6)
        {
            const int a = pix(src), b = pix(src + 3);
            gray[out++] = static_cast<std::uint16_t>(average ? (a + b) / 2 : std::min(a, b));
        }
        if (i < pixelCount)
            gray[out++] = static_cast<std::uint16_t>(pix(src));
    }
    else if (ctx.resolutionType == 3)
    {
        for (int i = 0; i < pixelCount; i += 6, src += 18)
        {
            const int n = std::min(6, pixelCount - i);
            gray[out++] = static_cast<std::uint16_t>(n >= 2 ? std::min(pix(src), pix(src + 3)) : pix(src));
            for (int j = 2; j < n; ++j)
                gray[out++] = static_cast<std::uint16_t>(pix(src + 3 * j));
        }
    }
    else
    {
        if constexpr (Mode == DropOut::None)
            GrayPlain(gray, src, pixelCount);
        else
            for (int i = 0; i < pixelCount; ++i, src += 3)
                gray[i] = static_cast<std::uint16_t>(pix(src));
        out = pixelCount;
    }
    if (lut)
        for (int i = 0; i < out; ++i)
            gray[i] = lut[gray[i]];
}

int GrayCount(int resolutionType, int pixelCount)
{
    if (resolutionType == 1)
        return (pixelCount + 1) / 2;
    if (resolutionType == 3)
    {
        const int tail = pixelCount % 6;
        return pixelCount / 6 * 5 + (tail >= 2 ? tail - 1 : tail);
    }
    return pixelCount;
}

// ---- 1-bit -------------------------------------------------------------------------------------------

void PutGroup(std::uint8_t* out, int group, unsigned bits)
{
    out[2 * group] = static_cast<std::uint8_t>(bits >> 8);
    out[2 * group + 1] = static_cast<std::uint8_t>(bits);
}

// Whole groups: ext holds the limit row repeated, so 16 pixels from any phase read straight on.
HALFTONE_KERNEL void ThresholdGroupsKernel(std::uint8_t* __restrict out, const std::uint16_t* __restrict gray,
                                           int groups, const std::uint16_t* __restrict ext, int width)
{
    const int advance = 16 % width;
    int phase = 0;
    for (int gi = 0; gi < groups; ++gi)
    {
        const unsigned bits = GroupBits(ext + phase, gray + gi * 16);
        out[2 * gi] = static_cast<std::uint8_t>(bits >> 8);
        out[2 * gi + 1] = static_cast<std::uint8_t>(bits);
        phase += advance;
        if (phase >= width)
            phase -= width;
    }
}

void ThresholdGroupsBase(std::uint8_t* out, const std::uint16_t* gray, int groups, const std::uint16_t* ext,
                         int width)
{
    ThresholdGroupsKernel(out, gray, groups, ext, width);
}

#if HALFTONE_CLONES
// The compiler cannot see that the 16 comparisons only need gathering into two bytes: the sixteen
// results packed to bytes, each half's order reversed so that the mask puts a byte's first pixel on top.
HALFTONE_AVX2 void ThresholdGroupsAvx2(std::uint8_t* out, const std::uint16_t* gray, int groups,
                                       const std::uint16_t* ext, int width)
{
    const __m128i reverse = _mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m256i cap = _mm256_set1_epi16(255);
    const int advance = 16 % width;
    int phase = 0;
    for (int gi = 0; gi < groups; ++gi)
    {
        const __m256i g =
            _mm256_min_epu16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(gray + gi * 16)), cap);
        const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ext + phase));
        const __m256i dots = _mm256_cmpgt_epi16(t, g); // both within 0..256
        const __m128i bytes =
            _mm_packs_epi16(_mm256_castsi256_si128(dots), _mm256_extracti128_si256(dots, 1));
        const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_shuffle_epi8(bytes, reverse)));
        out[2 * gi] = static_cast<std::uint8_t>(m);
        out[2 * gi + 1] = static_cast<std::uint8_t>(m >> 8);
        phase += advance;
        if (phase >= width)
            phase -= width;
    }
}
#endif

// A dot wherever the limit is above the gray value; ext holds width + 16 limits, the row of width
// limits repeated from the first pixel.
void Threshold(std::uint8_t* out, const std::uint16_t* gray, int pixelCount, const std::uint16_t* ext,
               int width)
{
    const int groups = pixelCount / 16;
#if HALFTONE_CLONES
    if (s_HasAvx2)
        ThresholdGroupsAvx2(out, gray, groups, ext, width);
    else
#endif
        ThresholdGroupsBase(out, gray, groups, ext, width);
    // The remainder bit by bit, pixels 8 to 15 into the second byte.
    const int phase = groups * 16 % width;
    const int rest = pixelCount - groups * 16;
    if (rest > 0)
    {
        unsigned bits = 0;
        for (int i = 0; i < rest; ++i)
            bits |=
                static_cast<unsigned>(ext[phase + i] > std::min<std::uint16_t>(gray[groups * 16 + i], 255))
                << (15 - i);
        out[2 * groups] = static_cast<std::uint8_t>(bits >> 8);
        if (rest > 8)
            out[2 * groups + 1] = static_cast<std::uint8_t>(bits);
    }
}

// Mapped gray curve[g] lies below threshold t exactly when g lies below limit[t], the first gray level
// the rising curve maps to t or above: comparing the unmapped gray with limit[threshold] saves mapping
// every pixel.
std::array<std::uint16_t, 257> Limits(const GammaCurve& curve)
{
    std::array<std::uint16_t, 257> limit{};
    int g = 0;
    for (int t = 0; t <= 256; ++t)
    {
        while (g < 256 && curve[g] < t)
            ++g;
        limit[t] = static_cast<std::uint16_t>(g);
    }
    return limit;
}

std::int16_t Saturate16(int v)
{
    return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

// trunc(x / 48) in 32-bit arithmetic for |x| < 49152 (the sums are 16-bit, the errors 8-bit, so every x
// of the kernel is): x * 43691 / 2^21 overshoots x / 48 by a factor below 1 + 2^-17, so its floor is exact
// for x >= 0, and adding just under 2^21 first turns the floor into the ceiling for negative x.
inline int Div48(int x)
{
    return (x * 43691 + ((x >> 31) & 0x1FFFFF)) >> 21;
}

// One line of the three-line kernel in scan order; errors go to errors[], first noise value given.
template <bool Leftward>
void ThreeLineScan(std::uint8_t* out, const std::uint16_t* gray, const GammaCurve& curve, int n,
                   std::int16_t* errors, const std::int16_t* sums, std::uint32_t first)
{
    std::uint32_t even = first, odd = kStep(first);
    const int groups = n / 16;
    // The chain from one pixel's error to the next bounds the speed, so everything that does not wait for
    // the pixel before is prepared beside it: the mapped gray with its noise, the errors of the lines
    // before and of two pixels back, the sum below which the quotient makes a dot. The dot is taken from
    // the sum's sign, never by a branch: on a photograph it is a coin toss the processor would mispredict.
    int e1 = 0, e2 = 0;
    auto pixel = [&](int x, std::uint32_t& lane) {
        const int noise = static_cast<int>(lane & 15);
        lane = kStep2(lane);
        const int mapped = curve[std::min<std::uint16_t>(gray[x], 255)];
        // trunc(t / 48) < k exactly when t < limit.
        const int k = 128 - mapped;
        const int limit = k > 0 ? 48 * k : 48 * k - 47;
        const int gathered = sums[x] + 5 * e2;
        const int t = gathered + 7 * e1;
        const int q = Div48(t);
        const int dotMask = (t - limit) >> 31; // all ones for a dot
        const int err = std::clamp(q + (mapped + noise - 263 + (dotMask & 255)), -128, 127);
        errors[x] = static_cast<std::int16_t>(err);
        e2 = e1;
        e1 = err;
        return static_cast<unsigned>(dotMask & 1);
    };
    for (int step = 0; step < groups; ++step)
    {
        const int gi = Leftward ? groups - 1 - step : step;
        const int base = gi * 16;
        unsigned bits = 0;
        for (int i = 0; i < 16; i += 2)
        {
            const int b0 = Leftward ? 15 - i : i, b1 = Leftward ? 14 - i : i + 1;
            bits |= pixel(base + b0, even) << (15 - b0);
            bits |= pixel(base + b1, odd) << (15 - b1);
        }
        PutGroup(out, gi, bits);
    }
}

// Three-line kernel with noise. prev1/prev2 hold the errors of the two lines before; on return prev1
// holds this line's and prev2 the line before's. sums is scratch.
void DiffuseThreeLine(std::uint8_t* out, const std::uint16_t* gray, const GammaCurve& curve, int n,
                      int lineNumber, std::int16_t* prev1, std::int16_t* prev2, std::int16_t* sums)
{
    // What the two lines before pass on does not depend on this line: gather it first.
    auto at = [n](const std::int16_t* row, int x) { return x >= 0 && x < n ? int(row[x]) : 0; };
    auto edge = [&](int x) {
        return 3 * at(prev1, x - 2) + 5 * at(prev1, x - 1) + 7 * at(prev1, x) + 5 * at(prev1, x + 1) +
               3 * at(prev1, x + 2) + at(prev2, x - 2) + 3 * at(prev2, x - 1) + 5 * at(prev2, x) +
               3 * at(prev2, x + 1) + at(prev2, x + 2);
    };
    for (int x = 0; x < std::min(2, n); ++x)
        sums[x] = Saturate16(edge(x));
    Sums(sums, prev1, prev2, 2, n - 2);
    for (int x = std::max(2, n - 2); x < n; ++x)
        sums[x] = Saturate16(edge(x));
    std::memcpy(prev2, prev1, sizeof(std::int16_t) * n);

    // The noise runs as two interleaved generators, even and odd pixels of the scan, beside the error
    // chain rather than on it.
    const std::uint32_t start = ReserveNoise(n);
    if ((lineNumber & 1) == 0)
        ThreeLineScan<true>(out, gray, curve, n, prev1, sums, kStep(start));
    else
        ThreeLineScan<false>(out, gray, curve, n, prev1, sums, kStep(start));
}

// What a pixel of value v passes on in the four-neighbour method. No error exceeds 128 either way, so
// from rows that start at zero (or hold errors of the other method) values stay within -128..383 and
// v & 2047 (two's complement) indexes exactly; the mask only keeps a foreign row inside the table.
struct Spread
{
    std::int16_t ahead;   // 44 %, the next pixel of the row
    std::int16_t below6;  // 6 %, below and ahead
    std::int16_t below31; // 31 %, below
    std::int16_t below19; // 19 %, below and behind
};

constexpr std::array<Spread, 2048> MakeSpreads()
{
    std::array<Spread, 2048> t{};
    for (int v = -1024; v < 1024; ++v)
    {
        const int err = v <= 128 ? v : v - 255;
        t[v & 2047] = {static_cast<std::int16_t>(err * 44 / 100), static_cast<std::int16_t>(err * 6 / 100),
                       static_cast<std::int16_t>(err * 31 / 100), static_cast<std::int16_t>(err * 19 / 100)};
    }
    return t;
}

constexpr std::array<Spread, 2048> kSpreads = MakeSpreads();

// Four neighbours: converts the row loaded by the call before, spreading into the next row. The share
// for the next pixel and the three for the row below are carried in registers and added once.
template <bool Leftward>
void FourNeighbourScan(std::uint8_t* out, int n, bool spreadDown, const std::int16_t* cur, std::int16_t* next)
{
    const int groups = n / 16;
    int carry = 0;    // 44 % of the pixel before, for this one
    int pending6 = 0; // 6 % of the pixel two back, for the one below the pixel before
    int pending = 0;  // what the row below the pixel before has gathered so far
    int x1 = -1;      // the pixel before, -1 at the start of the line
    for (int step = 0; step < groups; ++step)
    {
        const int gi = Leftward ? groups - 1 - step : step;
        unsigned bits = 0;
        for (int i = 0; i < 16; ++i)
        {
            const int bit = Leftward ? 15 - i : i;
            const int x = gi * 16 + bit;
            const int v = cur[x] + carry;
            const Spread& sp = kSpreads[static_cast<unsigned>(v) & 2047];
            carry = sp.ahead;
            bits |= static_cast<unsigned>(v <= 128) << (15 - bit);
            if (spreadDown)
            {
                if (x1 >= 0)
                    next[x1] = static_cast<std::int16_t>(next[x1] + pending + sp.below19);
                pending = pending6 + sp.below31;
                pending6 = sp.below6;
            }
            x1 = x;
        }
        PutGroup(out, gi, bits);
    }
    if (spreadDown && x1 >= 0)
        next[x1] = static_cast<std::int16_t>(next[x1] + pending);
}

void DiffuseFourNeighbour(std::uint8_t* out, int n, int lineNumber, bool spreadDown, const std::int16_t* cur,
                          std::int16_t* next)
{
    if ((lineNumber & 1) == 0)
        FourNeighbourScan<true>(out, n, spreadDown, cur, next);
    else
        FourNeighbourScan<false>(out, n, spreadDown, cur, next);
}

int DitherIndexOf(const HalftoneContext& ctx)
{
    return ctx.ditherIndex >= 0 && ctx.ditherIndex <= 3 ? ctx.ditherIndex : 1;
}

struct Row
{
    const GammaCurve* gamma;
    DitherView matrix;
};

constexpr std::array<std::uint8_t, 256> MakeBitReverse()
{
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i)
    {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            if (i & (1 << b))
                r |= 0x80 >> b;
        t[i] = static_cast<std::uint8_t>(r);
    }
    return t;
}

constexpr std::array<std::uint8_t, 256> s_LSBitChg = MakeBitReverse();

} // namespace

// ---- selection ---------------------------------------------------------------------------------------

HalftoneChoice SelectHalftone(const HalftoneContext& ctx)
{
    const int index = DitherIndexOf(ctx);
    const bool fixed = (index < 3 ? ctx.OrderedDitherMethod : ctx.ErrorDiffusionMethod) != 0;
    const DitherView none{};

    // Nearest listed resolution; unequal dpi pairs go by the horizontal one.
    static constexpr int kListed[] = {300, 360, 400, 600, 800};
    int dpi = kListed[0];
    for (int listed : kListed)
        if (std::abs(listed - ctx.xDpi) < std::abs(dpi - ctx.xDpi))
            dpi = listed;
    const int type = ctx.resolutionType;

    auto pick = [&](const Row(&fixedRows)[4], const Row(&sizedRows)[4]) {
        const Row& r = fixed ? fixedRows[index] : sizedRows[index];
        return HalftoneChoice{r.gamma, r.matrix};
    };
    switch (dpi)
    {
    case 300: {
        const Row f[4] = {{&g_Gamma088, View(g_Dither_So)},
                          {&g_Gamma115, View(g_Dither_Standard)},
                          {&g_Gamma145, View(g_Dither_Mitsu)},
                          {&g_Gamma145, none}};
        const Row s[4] = {{&g_Gamma130A, View(g_Dither_10x10)},
                          {&g_Gamma140A, View(g_Dither_8x8)},
                          {&g_Gamma150A, View(g_Dither_6x6)},
                          {&g_Gamma150A, none}};
        return pick(f, s);
    }
    case 400: {
        const Row f[4] = {{&g_Gamma140M, View(g_Dither_8x8_45)},
                          {&g_Gamma210M, View(g_Dither_4x4_Bayer)},
                          {&g_Gamma250M, View(g_Dither_4x4_Halftone)},
                          {&g_Gamma270M, none}};
        const Row s[4] = {{&g_Gamma140A, View(g_Dither_10x10)},
                          {&g_Gamma160A, View(g_Dither_8x8)},
                          {&g_Gamma180A, View(g_Dither_6x6)},
                          {&g_Gamma180A, none}};
        return pick(f, s);
    }
    case 360: {
        const Row s[4] = {{&g_Gamma130A, View(g_Dither_10x12)},
                          {&g_Gamma140A, View(g_Dither_8x10)},
                          {&g_Gamma150A, View(g_Dither_6x7)},
                          {&g_Gamma150A, none}};
        return pick(s, s);
    }
    case 800: {
        const Row square[4] = {{&g_Gamma140A, View(g_Dither_14x14)},
                               {&g_Gamma150A, View(g_Dither_12x12)},
                               {&g_Gamma160A, View(g_Dither_10x10)},
                               {&g_Gamma160A, none}};
        const Row wide[4] = {{&g_Gamma140A, View(g_Dither_10x20)},
                             {&g_Gamma150A, View(g_Dither_8x16)},
                             {&g_Gamma160A, View(g_Dither_6x12)},
                             {&g_Gamma160A, none}};
        return type == 0 ? pick(square, square) : pick(wide, wide);
    }
    default: { // 600
        if (type == 1 || type == 3)
        {
            const Row f[4] = {{&g_Gamma170M, View(g_Dither_4x8_45_36)},
                              {&g_Gamma220M, View(g_Dither_4x8_Bayer_36)},
                              {&g_Gamma250M, View(g_Dither_4x8_Halftone_36)},
                              {&g_Gamma280M, none}};
            const Row s[4] = {{&g_Gamma130A, View(g_Dither_8x16)},
                              {&g_Gamma160A, View(g_Dither_6x12)},
                              {&g_Gamma190A, View(g_Dither_4x8)},
                              {&g_Gamma190A, none}};
            return pick(f, s);
        }
        const Row f[4] = {{&g_Gamma170M, View(g_Dither_8x8_45)},
                          {&g_Gamma220M, View(g_Dither_4x4_Bayer)},
                          {&g_Gamma250M, View(g_Dither_4x4_Halftone)},
                          {&g_Gamma280M, none}};
        if (type == 2)
        {
            const Row s[4] = {{&g_Gamma130A, View(g_Dither_16x16w)},
                              {&g_Gamma160A, View(g_Dither_12x12w)},
                              {&g_Gamma190A, View(g_Dither_8x8w)},
                              {&g_Gamma190AW, none}};
            return pick(f, s);
        }
        const Row s[4] = {{&g_Gamma140A, View(g_Dither_14x14)},
                          {&g_Gamma160A, View(g_Dither_12x12)},
                          {&g_Gamma180A, View(g_Dither_10x10)},
                          {&g_Gamma180A, none}};
        return pick(f, s);
    }
    }
}

// ---- drop-out ----------------------------------------------------------------------------------------

int TakeApartColor(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, int swing, int colors, int invert)
{
    const int h = swing & 0xFF, l = 255 - h;
    int classes = 0;
    if (p0 <= h && p1 <= h && p2 <= h)
        classes |= 0x01;
    if (p0 >= l && p1 <= h && p2 <= h)
        classes |= 0x02;
    if (p1 >= l && p0 <= h && p2 <= h)
        classes |= 0x04;
    if (p2 >= l && p0 <= h && p1 <= h)
        classes |= 0x08;
    if (p1 >= l && p2 >= l && p0 <= h)
        classes |= 0x10;
    if (p0 >= l && p2 >= l && p1 <= h)
        classes |= 0x20;
    if (p0 >= l && p1 >= l && p2 <= h)
        classes |= 0x40;
    const bool meets = (classes & colors) != 0;
    return (invert ? !meets : meets) ? 255 : GrayOf(p0, p1, p2);
}

int TakeApartColor2(std::uint8_t p0, std::uint8_t p1, std::uint8_t p2, int swing, int colors, int invert)
{
    const int h = swing & 0xFF, l = 255 - h;
    const int lo = std::max(0, p0 - h), hi = std::min(255, p0 + h);
    auto near = [&](int c) { return c >= lo && c <= hi; };
    int classes = 0;
    if (near(p1) && near(p2))
        classes |= 0x01;
    if (p0 >= l && p1 <= l && p2 <= l && std::abs(p1 - p2) <= h)
        classes |= 0x02;
    if (p1 >= l && p0 <= l && p2 <= l && std::abs(p0 - p2) <= h)
        classes |= 0x04;
    if (p2 >= l && p0 <= l && p1 <= l && std::abs(p0 - p1) <= h)
        classes |= 0x08;
    if (p1 >= l && p2 >= l && p0 <= l)
        classes |= 0x10;
    if (p0 >= l && p2 >= l && p1 <= l)
        classes |= 0x20;
    if (p0 >= l && p1 >= l && p2 <= l)
        classes |= 0x40;
    const bool meets = (classes & colors) != 0;
    return (invert ? !meets : meets) ? 255 : GrayOf(p0, p1, p2);
}

// ---- entry points ------------------------------------------------------------------------------------

int Convert24ToGrayPageForwardVelmo(const HalftoneContext& ctx, std::span<std::uint16_t> gray,
                                    std::span<const std::uint8_t> line24, int pixelCount, int firstPixel)
{
    if (pixelCount < 0 || firstPixel < 0 ||
        (static_cast<std::uint64_t>(firstPixel) + static_cast<std::uint64_t>(pixelCount)) * 3 > line24.size())
        return -1;
    const int count = GrayCount(ctx.resolutionType, pixelCount);
    if (static_cast<std::size_t>(count) > gray.size())
        return -1;

    std::array<std::uint8_t, 256> lut;
    const bool corrected = HasCorrections(ctx);
    if (corrected)
        for (int g = 0; g < 256; ++g)
            lut[g] = static_cast<std::uint8_t>(CorrectOne(ctx, g));
    const std::uint8_t* table = corrected ? lut.data() : nullptr;
    const std::uint8_t* src = line24.data() + static_cast<std::size_t>(firstPixel) * 3;

    if (ctx.colorSeparation == 0)
        GrayLine<DropOut::None>(ctx, gray.data(), src, pixelCount, table);
    else if (ctx.ProcessingMethodForColorSeparation == 0)
        GrayLine<DropOut::Classes>(ctx, gray.data(), src, pixelCount, table);
    else
        GrayLine<DropOut::Tolerance>(ctx, gray.data(), src, pixelCount, table);
    return count;
}

bool ConvertGrayTo01PageBitmapVelmo(const HalftoneContext& ctx, std::span<std::uint8_t> out,
                                    std::span<const std::uint16_t> gray, int pixelCount, int lineNumber,
                                    int groups16, int remaining, std::span<std::int16_t> row1,
                                    std::span<std::int16_t> row2, std::span<std::int16_t> row3, int lineCount)
{
    if (pixelCount < 0 || groups16 != pixelCount / 16 || remaining != pixelCount % 16 ||
        gray.size() < static_cast<std::size_t>(pixelCount) ||
        out.size() < static_cast<std::size_t>((pixelCount + 7) / 8))
        return false;

    const int bytes = (pixelCount + 7) / 8;
    if (bytes == 0)
        return true; // the spans may be empty: nothing to clear
    if (ctx.halftoneOn == 0)
    {
        std::array<std::uint16_t, 17> white;
        white.fill(255);
        std::memset(out.data(), 0, bytes);
        Threshold(out.data(), gray.data(), pixelCount, white.data(), 1);
        return true;
    }

    const int index = DitherIndexOf(ctx);
    const int n = groups16 * 16;
    if (index == 3 &&
        (row1.size() < static_cast<std::size_t>(n) || row2.size() < static_cast<std::size_t>(n) ||
         row3.size() < static_cast<std::size_t>(n)))
        return false;

    HalftoneChoice choice = SelectHalftone(ctx);
    if (ctx.gammaOverride)
        choice.gamma = ctx.gammaOverride;
    if (ctx.ditherOverride.width > 0)
        choice.matrix = ctx.ditherOverride;

    // The gray line is read through the curve, not rewritten: nothing reads it after this call.
    const GammaCurve& curve = *choice.gamma;
    const std::uint16_t* g = gray.data();

    const DitherView& m = choice.matrix;
    if (index < 3 && (m.width <= 0 || m.width > 48 || m.height <= 0))
        return false;
    std::memset(out.data(), 0, bytes);
    if (index < 3)
    {
        const int y = ((lineNumber % m.height) + m.height) % m.height;
        const auto limit = Limits(curve);
        std::array<std::uint16_t, 64> ext;
        for (int i = 0; i < m.width + 16; ++i)
            ext[i] = limit[std::min<std::uint16_t>(m.thresholds[y * m.width + i % m.width], 256)];
        Threshold(out.data(), g, pixelCount, ext.data(), m.width);
        return true;
    }
    if (n == 0)
        return true; // no whole group: no dot, no error and no noise; the rows may be empty

    if (ctx.ErrorDiffusionMethod == 0)
    {
        DiffuseThreeLine(out.data(), g, curve, n, lineNumber, row1.data(), row2.data(), row3.data());
        return true;
    }

    // Four neighbours, one line behind: row1 current, row2 next.
    const bool up = ctx.linesCountUp;
    const bool first = up ? lineNumber == 0 : lineNumber == lineCount;
    const bool second = up ? lineNumber == 1 : lineNumber == lineCount - 1;
    const bool last = up ? lineNumber == lineCount - 1 : lineNumber == 1;
    std::int16_t* cur = row1.data();
    std::int16_t* next = row2.data();
    auto load = [&](std::int16_t* row) {
        for (int i = 0; i < n; ++i)
            row[i] = static_cast<std::int16_t>(curve[std::min<std::uint16_t>(g[i], 255)]);
    };
    if (first)
    {
        load(cur);
        return true;
    }
    if (!second)
        std::memcpy(cur, next, sizeof(std::int16_t) * n);
    if (!last)
        load(next);
    DiffuseFourNeighbour(out.data(), n, lineNumber, lineNumber + 1 < lineCount, cur, next);
    return true;
}

ErrorRows ErrorRowsIn(std::span<std::byte> userBuffer)
{
    if (userBuffer.size() < 3 * kErrorRowBytes)
        return {};
    auto row = [&](std::size_t i) {
        return std::span(reinterpret_cast<std::int16_t*>(userBuffer.data() + i * kErrorRowBytes),
                         kMaxLinePixels);
    };
    return {row(0), row(1), row(2)};
}

int CheckNullLine(std::span<const std::uint8_t> line24, int firstPixel, int groups8, int remaining)
{
    if (firstPixel < 0 || groups8 < 0 || remaining < 0)
        return 1;
    const std::uint64_t offset = static_cast<std::uint64_t>(firstPixel) * 3;
    const std::uint64_t length =
        static_cast<std::uint64_t>(groups8) * 8 + static_cast<std::uint64_t>(remaining);
    if (offset > line24.size() || length > line24.size() - offset)
        return 1;
    const std::uint8_t* p = line24.data() + offset;
    for (int i = 0; i < groups8; ++i, p += 8)
    {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        if (v != ~std::uint64_t{0})
            return 1;
    }
    for (int i = 0; i < remaining; ++i)
        if (p[i] != 0xFF)
            return 1;
    return 0;
}

void FilpLineData(std::span<std::uint8_t> line)
{
    std::reverse(line.begin(), line.end());
    for (std::uint8_t& b : line)
        b = s_LSBitChg[b];
}

} // namespace velmoq7
