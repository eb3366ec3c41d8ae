// Decoding a whole A3 page at 600 dpi (7015 x 9921 pixels, 880 bytes a line, bands of 38 lines) from its code
// blocks into the page image, and laying it on its sheet.
//
// The blocks come from a simple encoder written here: literal bytes and zero-word run codes, no dictionary
// entries, so they decode more slowly per byte than the driver's blocks would (every literal is one code).
#include <benchmark/benchmark.h>

#include "page_render.h"

#include <testing/kgl_codes.h>

#include <cstdint>
#include <vector>

namespace
{
using namespace printfile;

constexpr unsigned kBytesPerLine = 880;
constexpr unsigned kLines = 9921;
constexpr unsigned kLinesPerBand = 38;

bool ZeroWord(const BYTE* p)
{
    return !(p[0] | p[1] | p[2] | p[3]);
}

std::vector<BYTE> Encode(const BYTE* raw, size_t n)
{
    std::vector<unsigned> codes{257, 0};
    size_t i = 0;
    while (i < n)
    {
        if (i + 8 <= n && ZeroWord(raw + i) && ZeroWord(raw + i + 4))
        {
            size_t words = 0;
            while (i + 4 <= n && ZeroWord(raw + i))
                ++words, i += 4;
            for (; words >= 254; words -= 254)
                codes.push_back(511);
            if (words >= 2)
                codes.push_back(257 + static_cast<unsigned>(words));
            else if (words == 1)
                codes.insert(codes.end(), 4, 0);
            continue;
        }
        codes.push_back(raw[i++]);
    }
    codes.push_back(258);
    return kgltest::PackCodes(codes);
}

// Text-like content: lines of "glyphs" in the middle 80 % of the width, blank leading between them.
std::vector<BYTE> PageLines()
{
    std::vector<BYTE> lines(size_t{kBytesPerLine} * kLines, 0);
    uint32_t seed = 12345;
    for (unsigned y = 0; y < kLines; ++y)
    {
        if (y % 100 >= 60)
            continue;
        for (unsigned x = kBytesPerLine / 10; x < kBytesPerLine * 9 / 10; ++x)
        {
            seed = seed * 1103515245 + 12345;
            if ((x / 6) % 4 != 3) // word gaps
                lines[size_t{y} * kBytesPerLine + x] = static_cast<BYTE>((seed >> 16) & 0x3C);
        }
    }
    return lines;
}

struct A3Page
{
    CPrintTicket ticket;
    std::vector<BandEntry> bands;
    size_t codedBytes = 0;
};

const A3Page& Page()
{
    static const A3Page page = [] {
        A3Page p;
        p.ticket.paperId = 8;
        p.ticket.paperWidth = 2970;
        p.ticket.paperHeight = 4200;
        p.ticket.xDpi = p.ticket.yDpi = 600;
        p.ticket.lineWidth = kBytesPerLine * 8;
        p.ticket.lineCount = kLines;
        const std::vector<BYTE> lines = PageLines();
        for (unsigned first = 0; first < kLines; first += kLinesPerBand)
        {
            const unsigned count = std::min(kLinesPerBand, kLines - first);
            BandEntry band;
            band.firstLine = static_cast<WORD>(first);
            band.lineCount = static_cast<WORD>(count);
            band.encoding = encoding::Coded;
            band.data = Encode(lines.data() + size_t{first} * kBytesPerLine, size_t{count} * kBytesPerLine);
            band.length = static_cast<WORD>(band.data.size());
            p.codedBytes += band.data.size();
            p.bands.push_back(std::move(band));
        }
        return p;
    }();
    return page;
}

void BM_DecodeA3Page600(benchmark::State& state)
{
    const A3Page& page = Page();
    for (auto _ : state)
    {
        PageImage image;
        if (DecodePageImage(page.ticket, page.bands, image) != RenderError::None)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(image.bits.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytesPerLine * kLines);
    state.counters["coded_bytes"] = static_cast<double>(page.codedBytes);
    state.counters["bands"] = static_cast<double>(page.bands.size());
}
BENCHMARK(BM_DecodeA3Page600)->Unit(benchmark::kMillisecond);

void BM_DecodeA3Page600OntoSheet(benchmark::State& state)
{
    const A3Page& page = Page();
    for (auto _ : state)
    {
        PageImage image;
        Sheet sheet;
        if (DecodePageImage(page.ticket, page.bands, image) != RenderError::None ||
            ComposeSheet(page.ticket, image, sheet) != RenderError::None)
            state.SkipWithError("rendering failed");
        benchmark::DoNotOptimize(CountBlackPixels(image.bits));
        benchmark::DoNotOptimize(sheet.bits.data());
    }
}
BENCHMARK(BM_DecodeA3Page600OntoSheet)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
