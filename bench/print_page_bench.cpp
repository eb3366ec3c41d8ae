// A whole A3 page at 600 dpi, from the application's drawing calls to the bytes of the print stream:
// the test page drawn through the engine in bands, converted to 1 bit, coded and spooled. One run per
// halftone method; the time per iteration is the time per page.

#include <benchmark/benchmark.h>

#include "print_job.h"

namespace
{

void PrintA3Page(benchmark::State& state, demo::Halftone method)
{
    demo::JobOptions options;
    options.model = "KORIGRAPH Driver"; // the A3 model at 600 dpi
    options.paper = "A3";
    options.halftone = method;
    std::size_t bytes = 0;
    for (auto _ : state)
    {
        const demo::JobResult r = demo::RunJob(options);
        if (!r.error.empty())
        {
            state.SkipWithError(r.error.c_str());
            return;
        }
        bytes = r.stream.size();
        benchmark::DoNotOptimize(r.stream.data());
    }
    state.counters["stream_kB"] = static_cast<double>(bytes) / 1000.0;
}

} // namespace

BENCHMARK_CAPTURE(PrintA3Page, lineart, demo::Halftone::LineArt)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrintA3Page, dither_a, demo::Halftone::DitherA)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrintA3Page, dither_b, demo::Halftone::DitherB)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrintA3Page, dither_c, demo::Halftone::DitherC)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrintA3Page, diffusion, demo::Halftone::Diffusion)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PrintA3Page, diffusion_4, demo::Halftone::DiffusionFourPoint)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
