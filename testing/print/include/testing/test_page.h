// Test support: what an application prints through the driver, and the halftone methods a job picks.
#pragma once

#include <sim/engine_print.h>

#include "settings.h"

#include <string>

namespace printtest
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

// What the DEVMODE carries of a halftone method.
void SetHalftone(velmo::SelfDMode& s, Halftone method);
// The diffusion kernel: a printer-level setting that no DEVMODE carries.
LONG DiffusionKernel(Halftone method);

// A page with text, rules, shapes, gray steps and a photo-like picture, laid out on the page's size.
void DrawTestPage(sim::PrintDC& dc, const std::string& caption);

} // namespace printtest
