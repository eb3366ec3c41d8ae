// The demo's print job: the simulated machine with one duplicator, an application printing a page
// (the built-in test page or a user's picture) through the graphics driver, and the stream it wrote.
#pragma once

#include <platform/sim/engine_print.h>

#include "pnm.h"

#include <optional>
#include <string>

namespace demo
{

enum class Halftone
{
    LineArt,
    DitherA, // the three ordered dithers, coarse to fine as the settings list them
    DitherB,
    DitherC,
    Diffusion,          // three-line error diffusion with noise
    DiffusionFourPoint, // four-neighbour error diffusion
};

struct HalftoneName
{
    const char* name;
    Halftone method;
};
inline constexpr HalftoneName kHalftones[] = {
    {"lineart", Halftone::LineArt},     {"dither-a", Halftone::DitherA},
    {"dither-b", Halftone::DitherB},    {"dither-c", Halftone::DitherC},
    {"diffusion", Halftone::Diffusion}, {"diffusion-4", Halftone::DiffusionFourPoint},
};

struct JobOptions
{
    std::string model = "KORIGRAPH DX-2660";
    std::string paper = "A4";
    int dpi = 0; // 0: the model's own
    Halftone halftone = Halftone::DitherB;
    int pages = 1;
    const Image* image = nullptr; // printed in place of the test page
};

struct JobResult
{
    std::string error; // empty when the job went through
    std::string stream;
    int dpi = 0;
    SIZEL drawn{}; // the printable area in pixels
    bool banded = false;
};

// Starts from a fresh simulated machine each time.
JobResult RunJob(const JobOptions& options);

// The model names the driver knows, with the dpi each prints at.
std::string ModelList();

void DrawTestPage(sim::PrintDC& dc, const std::string& caption);
void DrawImage(sim::PrintDC& dc, const Image& image);

} // namespace demo
