// The sub-band coder on whole 1-bit pages at 600 dpi: text, ordered dither and error diffusion.
// Reports MB/s of raw page data and the compression ratio. In the same run, the peers on the same
// pages cut into strips of the sub-band's height: libtiff's LZW coder in process (when the build found
// libtiff) and `tiffcp -c lzw` as a whole process reading and writing files. `--write-tiff=DIR` only
// writes the pages as uncompressed TIFF files.

#include <benchmark/benchmark.h>

#include "band_coder.h"
#include "peers.h"

#ifdef VELMO_HAVE_LIBTIFF
#include <tiffio.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

// The printable area of an A4 page at 600 dpi, and the sub-band height the driver cuts to.
constexpr int kWidth = 4832;
constexpr int kHeight = 6848;
constexpr int kStride = kWidth / 8;
constexpr int kLinesPerSubBand = 32768 / kStride;

struct Page
{
    std::vector<std::uint8_t> bits = std::vector<std::uint8_t>(static_cast<std::size_t>(kStride) * kHeight);

    void Set(int x, int y)
    {
        bits[static_cast<std::size_t>(y) * kStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
};

// Lines of 10-point text: blocky glyphs from a random 5 x 7 font, words and ragged line ends.
Page TextPage()
{
    std::mt19937 rng(1);
    std::vector<std::uint64_t> font(64);
    for (auto& glyph : font)
        glyph = (static_cast<std::uint64_t>(rng()) << 32 | rng()) & ((1ull << 35) - 1) & 0x5A5A5A5A5ull;
    Page page;
    for (int top = 240; top + 80 < kHeight - 200; top += 100)
    {
        const int lineEnd = 4500 - static_cast<int>(rng() % 900);
        for (int x = 240; x + 48 < lineEnd; x += 48)
        {
            if (rng() % 6 == 0)
                continue;                                              // a space between words
            const std::uint64_t glyph = font[rng() % font.size()] | 1; // never empty
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    if (glyph >> (gy * 5 + gx) & 1)
                        for (int y = 0; y < 10; ++y)
                            for (int dx = 0; dx < 7; ++dx)
                                page.Set(x + gx * 8 + dx, top + gy * 10 + y);
        }
    }
    return page;
}

// A smooth photograph-like gray image, 0 = black, 255 = white.
double Gray(int x, int y)
{
    const double v = 128 + 90 * std::sin(x / 310.0) * std::cos(y / 420.0) + 30 * std::sin((x + y) / 97.0);
    return std::clamp(v + (y - kHeight / 2) * 0.01, 0.0, 255.0);
}

Page OrderedDitherPage()
{
    static const int bayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    Page page;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (Gray(x, y) < (bayer[y % 8][x % 8] + 0.5) * 4)
                page.Set(x, y);
    return page;
}

Page ErrorDiffusionPage()
{
    Page page;
    std::vector<double> row(kWidth + 2), next(kWidth + 2);
    for (int y = 0; y < kHeight; ++y)
    {
        for (int x = 0; x < kWidth; ++x)
            row[x + 1] += Gray(x, y);
        for (int x = 0; x < kWidth; ++x)
        {
            const double v = row[x + 1];
            const double out = v < 128 ? 0 : 255;
            if (out == 0)
                page.Set(x, y);
            const double e = v - out;
            row[x + 2] += e * 7 / 16;
            next[x] += e * 3 / 16;
            next[x + 1] += e * 5 / 16;
            next[x + 2] += e * 1 / 16;
        }
        std::swap(row, next);
        std::fill(next.begin(), next.end(), 0.0);
    }
    return page;
}

const Page& PageOf(int kind)
{
    static const Page pages[] = {TextPage(), OrderedDitherPage(), ErrorDiffusionPage()};
    return pages[kind];
}

const char* const kKindNames[] = {"text", "ordered-dither", "error-diffusion"};

void BM_CodePage(benchmark::State& state)
{
    const Page& page = PageOf(static_cast<int>(state.range(0)));
    state.SetLabel(kKindNames[state.range(0)]);
    render::StringTableMemory table;
    render::BandCoder coder(table.Table());
    const std::size_t bandBytes = static_cast<std::size_t>(kLinesPerSubBand) * kStride;
    std::vector<std::uint8_t> out(render::MaxBlockSize(bandBytes));
    std::size_t coded = 0;
    for (auto _ : state)
    {
        coded = 0;
        for (std::size_t at = 0; at < page.bits.size(); at += bandBytes)
        {
            const std::size_t n = std::min(bandBytes, page.bits.size() - at);
            const auto length = coder.Compress(std::span(page.bits).subspan(at, n), out);
            coded += length.value_or(0);
            benchmark::DoNotOptimize(out.data());
        }
    }
    const double raw = static_cast<double>(page.bits.size());
    state.counters["MB"] = benchmark::Counter(raw / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ratio"] = raw / static_cast<double>(coded);
}
BENCHMARK(BM_CodePage)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

#ifdef VELMO_HAVE_LIBTIFF
// libtiff writing into memory, so the figure is its coder's and not the file system's.
struct MemoryTiff
{
    std::vector<std::uint8_t> bytes;
    std::size_t pos = 0;

    static MemoryTiff& Of(thandle_t h) { return *static_cast<MemoryTiff*>(h); }
    static tmsize_t Read(thandle_t h, void* buf, tmsize_t n)
    {
        MemoryTiff& m = Of(h);
        const std::size_t count =
            std::min<std::size_t>(std::size_t(n), m.bytes.size() - std::min(m.pos, m.bytes.size()));
        std::memcpy(buf, m.bytes.data() + m.pos, count);
        m.pos += count;
        return tmsize_t(count);
    }
    static tmsize_t Write(thandle_t h, void* buf, tmsize_t n)
    {
        MemoryTiff& m = Of(h);
        if (m.pos + std::size_t(n) > m.bytes.size())
            m.bytes.resize(m.pos + std::size_t(n));
        std::memcpy(m.bytes.data() + m.pos, buf, std::size_t(n));
        m.pos += std::size_t(n);
        return n;
    }
    static toff_t Seek(thandle_t h, toff_t off, int whence)
    {
        MemoryTiff& m = Of(h);
        const std::size_t base = whence == SEEK_CUR ? m.pos : whence == SEEK_END ? m.bytes.size() : 0;
        m.pos = base + std::size_t(off);
        return toff_t(m.pos);
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return toff_t(Of(h).bytes.size()); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}
};

void BM_LibtiffLzwPage(benchmark::State& state)
{
    const Page& page = PageOf(static_cast<int>(state.range(0)));
    state.SetLabel(kKindNames[state.range(0)]);
    const std::size_t bandBytes = static_cast<std::size_t>(kLinesPerSubBand) * kStride;
    MemoryTiff m;
    m.bytes.reserve(page.bits.size() + (1u << 20));
    for (auto _ : state)
    {
        m.bytes.clear();
        m.pos = 0;
        TIFF* tif = TIFFClientOpen("page", "w", &m, MemoryTiff::Read, MemoryTiff::Write, MemoryTiff::Seek,
                                   MemoryTiff::Close, MemoryTiff::Size, MemoryTiff::Map, MemoryTiff::Unmap);
        if (!tif)
        {
            state.SkipWithError("libtiff cannot open its output");
            return;
        }
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kLinesPerSubBand);
        tstrip_t strip = 0;
        bool ok = true;
        for (std::size_t at = 0; at < page.bits.size() && ok; at += bandBytes, ++strip)
        {
            const std::size_t n = std::min(bandBytes, page.bits.size() - at);
            ok = TIFFWriteEncodedStrip(tif, strip, const_cast<std::uint8_t*>(page.bits.data() + at),
                                       tmsize_t(n)) >= 0;
        }
        TIFFClose(tif);
        if (!ok)
        {
            state.SkipWithError("libtiff failed to code a strip");
            return;
        }
        benchmark::DoNotOptimize(m.bytes.data());
    }
    const double raw = static_cast<double>(page.bits.size());
    state.counters["MB"] = benchmark::Counter(raw / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["ratio"] = raw / static_cast<double>(m.bytes.size());
}
BENCHMARK(BM_LibtiffLzwPage)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
#else
const bool s_noLibtiff = (std::printf("peer libtiff LZW (in process) skipped: the build found no libtiff "
                                      "(Debian package libtiff-dev)\n"),
                          true);
#endif

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

// An uncompressed bilevel TIFF, one strip, 0 = white as in the page image.
bool WriteTiff(const std::string& path, const Page& page)
{
    std::vector<std::uint8_t> f = {'I', 'I', 42, 0};
    const std::uint32_t dataOffset = 8;
    Put32(f, dataOffset + static_cast<std::uint32_t>(page.bits.size()));
    f.insert(f.end(), page.bits.begin(), page.bits.end());
    const unsigned tags[][3] = {
        {256, 4, kWidth}, {257, 4, kHeight}, {258, 3, 1},
        {259, 3, 1},      {262, 3, 0},       {273, 4, dataOffset},
        {277, 3, 1},      {278, 4, kHeight}, {279, 4, static_cast<unsigned>(page.bits.size())}};
    Put16(f, sizeof tags / sizeof tags[0]);
    for (const auto& t : tags)
    {
        Put16(f, t[0]);
        Put16(f, t[1]);
        Put32(f, 1);
        if (t[1] == 3)
        {
            Put16(f, t[2]);
            Put16(f, 0);
        }
        else
            Put32(f, t[2]);
    }
    Put32(f, 0);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool ok = std::fwrite(f.data(), 1, f.size(), out) == f.size();
    return std::fclose(out) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    const char* const flag = "--write-tiff=";
    for (int i = 1; i < argc; ++i)
    {
        if (std::strncmp(argv[i], flag, std::strlen(flag)) != 0)
            continue;
        const std::string dir = argv[i] + std::strlen(flag);
        for (int kind = 0; kind < 3; ++kind)
        {
            const std::string path = dir + "/" + kKindNames[kind] + ".tif";
            if (!WriteTiff(path, PageOf(kind)))
            {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                return 1;
            }
        }
        return 0;
    }
    for (int kind = 0; kind < 3; ++kind)
    {
        const std::string in = peers::WorkFolder() + "/" + kKindNames[kind] + ".tif";
        peers::Register(std::string("peer_tiffcp_lzw/") + kKindNames[kind],
                        {"tiffcp", "-c", "lzw", "-r", std::to_string(kLinesPerSubBand), in,
                         peers::WorkFolder() + "/out.tif"},
                        "libtiff-tools", [in, kind] { return WriteTiff(in, PageOf(kind)); });
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
