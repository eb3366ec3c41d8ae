// A whole A3 page at 600 dpi, from the application's drawing calls to the bytes of the print stream:
// the test page drawn through the engine in bands, converted to 1 bit, coded and spooled. One run per
// halftone method; the time per iteration is the time per page. `driver_ms` is the page less the
// simulated engine's drawing (`engine_ms`), which stands in for the system's and is not the product.

#include <benchmark/benchmark.h>

#include "print_job.h"

#include <sim/engine.h>

namespace
{

void PrintA3Page(benchmark::State& state, demo::Halftone method)
{
    demo::JobOptions options;
    options.model = "KORIGRAPH Driver"; // the A3 model at 600 dpi
    options.paper = "A3";
    options.halftone = method;
    std::size_t bytes = 0;
    std::chrono::nanoseconds page{0};
    const std::chrono::nanoseconds drawingBefore = sim::engine().DrawingTime();
    for (auto _ : state)
    {
        const auto start = std::chrono::steady_clock::now();
        const demo::JobResult r = demo::RunJob(options);
        page += std::chrono::steady_clock::now() - start;
        if (!r.error.empty())
        {
            state.SkipWithError(r.error.c_str());
            return;
        }
        bytes = r.stream.size();
        benchmark::DoNotOptimize(r.stream.data());
    }
    state.counters["stream_kB"] = static_cast<double>(bytes) / 1000.0;
    const double pages = static_cast<double>(state.iterations());
    const double engineMs =
        std::chrono::duration<double, std::milli>(sim::engine().DrawingTime() - drawingBefore).count();
    const double pageMs = std::chrono::duration<double, std::milli>(page).count();
    state.counters["engine_ms"] = engineMs / pages;
    state.counters["driver_ms"] = (pageMs - engineMs) / pages;
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
