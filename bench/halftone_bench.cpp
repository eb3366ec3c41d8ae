// A whole A3 page at 600 dpi (7016 x 9921 pixels), drawn 24-bit and handed over in bands, turned into
// 1-bit lines as the band flow does it: blank lines skipped (except for error diffusion), gray, then dots.
// One benchmark per content and method; the counters give ms per page and megapixels per second.
// The peers follow in the same run, each a whole process on the photo page as 8-bit gray (the gray our
// conversion makes): `pamditherbw -dither8` (ordered 8 x 8) and `-fs` (Floyd-Steinberg), and
// `tiffdither` (Floyd-Steinberg), each reading and writing its files.
//
// Beside the speed, a quality figure per method: the mean squared error between the gray the dither was
// asked for (after the tone curve, so the figure judges the halftone and not the curve) and the dots
// printed, both seen through the same Gaussian low-pass filter (sigma 2 pixels, about 0.085 mm: one dot
// as the eye resolves it at reading distance), on a gray ramp and on a patch of the photo-like page.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "halftone.h"
#include "peers.h"

using namespace velmoq7;

namespace
{

constexpr int kWidth = 7016, kHeight = 9921, kBandLines = 256;
constexpr int kBytesPerLine = ((kWidth + 31) >> 3) & 0xFFFC;

struct Method
{
    const char* name;
    int halftoneOn, ditherIndex, ordered, diffusion;
};

constexpr Method kMethods[] = {
    {"line_art", 0, 1, 0, 0},
    {"ordered_12x12", 1, 1, 0, 0},
    {"ordered_bayer_fixed", 1, 1, 1, 0},
    {"diffusion_three_line", 1, 3, 0, 0},
    {"diffusion_four_neighbour", 1, 3, 0, 1},
};

HalftoneContext ContextFor(const Method& m)
{
    HalftoneContext ctx;
    ctx.xDpi = ctx.yDpi = 600;
    ctx.resolutionType = 0;
    ctx.halftoneOn = m.halftoneOn;
    ctx.ditherIndex = m.ditherIndex;
    ctx.OrderedDitherMethod = m.ordered;
    ctx.ErrorDiffusionMethod = m.diffusion;
    return ctx;
}

std::uint8_t Byte(double v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

// Smooth colour fields, soft-edged shapes, a little sensor noise: what a photograph gives.
void PhotoPixel(int x, int y, std::mt19937& rng, std::uint8_t* p)
{
    const double u = x / double(kWidth), v = y / double(kHeight);
    const double base = 128 + 70 * std::sin(6.1 * u + 2.3 * v) * std::cos(4.7 * v - 1.1 * u);
    const double dx = u - 0.55, dy = v - 0.4;
    const double blob = 90 * std::exp(-(dx * dx + dy * dy) * 18);
    const double noise = double(rng() % 13) - 6;
    p[0] = Byte(base + blob + noise);
    p[1] = Byte(base * 0.9 + blob * 0.5 + 20 * std::sin(40 * u) + noise);
    p[2] = Byte(255 - base * 0.6 + noise);
}

// Black glyph strokes on white: lines of 10-point text with margins and paragraph gaps.
void TextPixel(int x, int y, std::uint8_t* p)
{
    const int line = y % 140, column = x % 52;
    const bool inMargins = x > 400 && x < kWidth - 400 && y > 500 && y < kHeight - 500;
    const bool paragraphGap = (y / 140) % 9 == 8;
    const bool glyph = line > 40 && line < 110 && column < 40 && ((x / 52 + y / 140) % 11 != 0);
    const bool stroke = glyph && ((column % 13) < 5 || (line % 23) < 6);
    const bool ink = inMargins && !paragraphGap && stroke;
    p[0] = p[1] = p[2] = ink ? 0 : 255;
}

struct Page
{
    std::vector<std::vector<std::uint8_t>> bands; // kBandLines lines of kWidth * 3 bytes each
};

const Page& PhotoPage()
{
    static const Page page = [] {
        Page pg;
        std::mt19937 rng(1);
        for (int y0 = 0; y0 < kHeight; y0 += kBandLines)
        {
            auto& band = pg.bands.emplace_back(std::size_t(kWidth) * 3 * kBandLines);
            for (int y = y0; y < std::min(kHeight, y0 + kBandLines); ++y)
                for (int x = 0; x < kWidth; ++x)
                    PhotoPixel(x, y, rng, &band[(std::size_t(y - y0) * kWidth + x) * 3]);
        }
        return pg;
    }();
    return page;
}

const Page& TextPage()
{
    static const Page page = [] {
        Page pg;
        for (int y0 = 0; y0 < kHeight; y0 += kBandLines)
        {
            auto& band = pg.bands.emplace_back(std::size_t(kWidth) * 3 * kBandLines);
            for (int y = y0; y < std::min(kHeight, y0 + kBandLines); ++y)
                for (int x = 0; x < kWidth; ++x)
                    TextPixel(x, y, &band[(std::size_t(y - y0) * kWidth + x) * 3]);
        }
        return pg;
    }();
    return page;
}

// The driver's per-surface buffers: gray line, error rows, and the page image lines.
struct Buffers
{
    std::vector<std::uint16_t> gray = std::vector<std::uint16_t>(kMaxLinePixels);
    std::vector<std::int16_t> rows = std::vector<std::int16_t>(3 * kMaxLinePixels);
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(std::size_t(kBytesPerLine) * kHeight);

    std::span<std::int16_t> Row(int i)
    {
        return std::span(rows).subspan(std::size_t(i) * kMaxLinePixels, kMaxLinePixels);
    }
};

void ConvertPage(const HalftoneContext& ctx, const Page& page, Buffers& b)
{
    const bool everyLine = ctx.halftoneOn != 0 && ctx.ditherIndex == 3;
    for (int y = 0; y < kHeight; ++y)
    {
        const auto& band = page.bands[y / kBandLines];
        const std::span<const std::uint8_t> line(band.data() + std::size_t(y % kBandLines) * kWidth * 3,
                                                 std::size_t(kWidth) * 3);
        const std::span<std::uint8_t> out(b.image.data() + std::size_t(y) * kBytesPerLine, kBytesPerLine);
        if (!everyLine && CheckNullLine(line, 0, kWidth * 3 / 8, kWidth * 3 % 8) == 0)
        {
            std::fill(out.begin(), out.end(), 0);
            continue;
        }
        const int n = Convert24ToGrayPageForwardVelmo(ctx, b.gray, line, kWidth, 0);
        ConvertGrayTo01PageBitmapVelmo(ctx, out, b.gray, n, y, n / 16, n % 16, b.Row(0), b.Row(1), b.Row(2),
                                       kHeight);
    }
}

// ---- quality -----------------------------------------------------------------------------------------

constexpr int kPatch = 1024;

std::vector<float> Blur(const std::vector<float>& img, int w, int h, double sigma)
{
    const int r = int(std::ceil(3 * sigma));
    std::vector<float> k(2 * r + 1);
    float sum = 0;
    for (int i = -r; i <= r; ++i)
        sum += k[i + r] = float(std::exp(-i * i / (2 * sigma * sigma)));
    for (auto& v : k)
        v /= sum;
    std::vector<float> tmp(img.size()), out(img.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            float s = 0;
            for (int i = -r; i <= r; ++i)
                s += k[i + r] * img[y * w + std::clamp(x + i, 0, w - 1)];
            tmp[y * w + x] = s;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
        {
            float s = 0;
            for (int i = -r; i <= r; ++i)
                s += k[i + r] * tmp[std::clamp(y + i, 0, h - 1) * w + x];
            out[y * w + x] = s;
        }
    return out;
}

// Filtered MSE of one method on a kPatch x kPatch image given as 24-bit lines.
double Mse(const Method& m, const std::vector<std::vector<std::uint8_t>>& lines)
{
    const HalftoneContext ctx = ContextFor(m);
    Buffers b;
    const GammaCurve* curve = m.halftoneOn ? SelectHalftone(ctx).gamma : nullptr;
    std::vector<float> wanted(std::size_t(kPatch) * kPatch), printed(wanted.size());
    std::vector<std::uint8_t> out((kPatch + 7) / 8);
    for (int y = 0; y < kPatch; ++y)
    {
        const int n = Convert24ToGrayPageForwardVelmo(ctx, b.gray, lines[y], kPatch, 0);
        for (int x = 0; x < n; ++x)
            wanted[std::size_t(y) * kPatch + x] = float(curve ? (*curve)[b.gray[x]] : b.gray[x]);
        ConvertGrayTo01PageBitmapVelmo(ctx, out, b.gray, n, y, n / 16, n % 16, b.Row(0), b.Row(1), b.Row(2),
                                       kPatch);
        // The four-neighbour method prints each line one call late: line y's dots come with call y + 1.
        const int row = m.diffusion && m.ditherIndex == 3 ? y - 1 : y;
        if (row >= 0)
            for (int x = 0; x < n; ++x)
                printed[std::size_t(row) * kPatch + x] = (out[x / 8] >> (7 - x % 8)) & 1 ? 0.f : 255.f;
    }
    // Leave out the edges: the last line of the delayed method and the undotted tail of every line.
    const auto a = Blur(wanted, kPatch, kPatch, 2.0), p = Blur(printed, kPatch, kPatch, 2.0);
    double sum = 0;
    long count = 0;
    for (int y = 16; y < kPatch - 16; ++y)
        for (int x = 16; x < kPatch - 16; ++x, ++count)
        {
            const double d = a[std::size_t(y) * kPatch + x] - p[std::size_t(y) * kPatch + x];
            sum += d * d;
        }
    return sum / double(count);
}

std::vector<std::vector<std::uint8_t>> RampPatch()
{
    std::vector<std::vector<std::uint8_t>> lines(kPatch, std::vector<std::uint8_t>(kPatch * 3));
    for (int y = 0; y < kPatch; ++y)
        for (int x = 0; x < kPatch; ++x)
            lines[y][x * 3] = lines[y][x * 3 + 1] = lines[y][x * 3 + 2] =
                std::uint8_t(x * 255 / (kPatch - 1));
    return lines;
}

std::vector<std::vector<std::uint8_t>> PhotoPatch()
{
    std::vector<std::vector<std::uint8_t>> lines(kPatch, std::vector<std::uint8_t>(kPatch * 3));
    std::mt19937 rng(2);
    for (int y = 0; y < kPatch; ++y)
        for (int x = 0; x < kPatch; ++x)
            PhotoPixel(3000 + x, 3000 + y, rng, &lines[y][x * 3]);
    return lines;
}

void BM_Page(benchmark::State& state, const Method& m, bool photo)
{
    const Page& page = photo ? PhotoPage() : TextPage();
    const HalftoneContext ctx = ContextFor(m);
    Buffers b;
    double seconds = 0;
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        ConvertPage(ctx, page, b);
        benchmark::DoNotOptimize(b.image.data());
        benchmark::ClobberMemory();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double pages = double(state.iterations());
    state.counters["ms_per_page"] = 1e3 * seconds / pages;
    state.counters["MP_per_s"] = double(kWidth) * kHeight * pages / seconds / 1e6;
    static const auto ramp = RampPatch();
    static const auto photoPatch = PhotoPatch();
    state.counters["mse_ramp"] = Mse(m, ramp);
    state.counters["mse_photo"] = Mse(m, photoPatch);
}

// ---- peers -------------------------------------------------------------------------------------------

void Put16(std::vector<std::uint8_t>& b, unsigned v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& head,
               const std::vector<std::uint8_t>& body, const std::vector<std::uint8_t>& tail = {})
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size() &&
              std::fwrite(body.data(), 1, body.size(), f) == body.size() &&
              std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

std::string PeerInput(const char* name)
{
    return peers::WorkFolder() + "/" + name;
}

// The photo page as the driver's 8-bit gray, as a binary PGM and as an uncompressed gray TIFF.
bool WritePeerInputs()
{
    static const bool written = [] {
        const Page& page = PhotoPage();
        const HalftoneContext ctx = ContextFor(kMethods[0]);
        std::vector<std::uint8_t> gray(std::size_t(kWidth) * kHeight);
        std::vector<std::uint16_t> line(kWidth);
        for (int y = 0; y < kHeight; ++y)
        {
            const auto& band = page.bands[y / kBandLines];
            Convert24ToGrayPageForwardVelmo(
                ctx, line,
                std::span<const std::uint8_t>(band.data() + std::size_t(y % kBandLines) * kWidth * 3,
                                              std::size_t(kWidth) * 3),
                kWidth, 0);
            std::copy(line.begin(), line.end(), gray.begin() + std::ptrdiff_t(y) * kWidth);
        }
        const std::string pgmHead =
            "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
        std::vector<std::uint8_t> tiffHead = {'I', 'I', 42, 0};
        Put32(tiffHead, 8 + std::uint32_t(gray.size())); // the directory follows the pixels
        std::vector<std::uint8_t> dir;
        const unsigned tags[][3] = {{256, 4, kWidth}, {257, 4, kHeight}, {258, 3, 8},
                                    {259, 3, 1},      {262, 3, 1},       {273, 4, 8},
                                    {277, 3, 1},      {278, 4, kHeight}, {279, 4, unsigned(gray.size())}};
        Put16(dir, sizeof tags / sizeof tags[0]);
        for (const auto& t : tags)
        {
            Put16(dir, t[0]);
            Put16(dir, t[1]);
            Put32(dir, 1);
            if (t[1] == 3)
            {
                Put16(dir, t[2]);
                Put16(dir, 0);
            }
            else
                Put32(dir, t[2]);
        }
        Put32(dir, 0);
        return !peers::WorkFolder().empty() &&
               WriteFile(PeerInput("page.pgm"), std::vector<std::uint8_t>(pgmHead.begin(), pgmHead.end()),
                         gray) &&
               WriteFile(PeerInput("page.tif"), tiffHead, gray, dir);
    }();
    return written;
}

const int kRegistered = [] {
    for (bool photo : {true, false})
        for (const Method& m : kMethods)
            benchmark::RegisterBenchmark(
                (std::string(photo ? "A3_600dpi_photo/" : "A3_600dpi_text/") + m.name).c_str(), BM_Page, m,
                photo)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(2.0);
    peers::Register("peer_A3_600dpi_photo/pamditherbw_dither8",
                    {"pamditherbw", "-dither8", PeerInput("page.pgm")}, "netpbm", WritePeerInputs);
    peers::Register("peer_A3_600dpi_photo/pamditherbw_fs", {"pamditherbw", "-fs", PeerInput("page.pgm")},
                    "netpbm", WritePeerInputs);
    peers::Register("peer_A3_600dpi_photo/tiffdither",
                    {"tiffdither", PeerInput("page.tif"), PeerInput("out.tif")}, "libtiff-tools",
                    WritePeerInputs);
    return 0;
}();

} // namespace

BENCHMARK_MAIN();
